#pragma once
// The sample interpreter's language: a page with placeholders, nothing more. No text a client
// sends is ever run; it is only inserted, escaped for HTML.

#include <string>
#include <string_view>

namespace qmx {

// A form value decoded: "+" is a blank and "%XX" the byte XX; a "%" without two hex digits stays.
std::string DecodeFormValue(std::string_view value);

// The decoded value of the first field `name` in `form` ("a=1&b=2"); empty when there is none.
std::string FormField(std::string_view form, std::string_view name);

// `text` with & < > " written as character references.
std::string EscapeHtml(std::string_view text);

// The script with "{{ip}}" replaced by the client's address and "{{NAME}}" by the form field NAME
// (letters, digits, "_", "-" and "."), every inserted value escaped. Other text is kept as it is.
std::string FillTemplate(std::string_view script, std::string_view address, std::string_view form);

// The interpreter's one argument, "script path|address|form data", taken apart. The script path
// ends in ".qmx", which finds its end even when a folder or the form holds a "|". False when the
// argument has no such shape.
bool SplitArgument(std::string_view argument, std::string& script, std::string& address,
                   std::string& form);

}  // namespace qmx
