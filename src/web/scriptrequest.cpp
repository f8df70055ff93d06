#include "web/scriptrequest.h"

#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/publicserver.h"

namespace orvane {

void ScriptRequest(PublicServer& server, ClientSlot& slot, const QByteArray& text) {
  Q_UNUSED(text);
  SendError(server, slot, ErrorKind::MissingInterpreter);
}

}  // namespace orvane
