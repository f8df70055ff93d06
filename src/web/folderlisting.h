#pragma once

namespace orvane {

struct Site;
struct ClientSlot;

// Sends the listing of the folder the slot's request names (its request name ends with the index
// page name): a table of the folder's files, each a link with its size in bytes, put into the
// site's "system/template.html" at "%information%" (or alone, without that placeholder) and passed
// through the page substitution. A folder that does not exist gets the empty table. Afterwards
// the request name is "DIR /" followed by the folder's web path.
void FolderListing(const Site& site, ClientSlot& slot);

}  // namespace orvane
