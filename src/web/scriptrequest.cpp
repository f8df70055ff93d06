#include "web/scriptrequest.h"

#include "core/appstate.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"

namespace orvane {

void ScriptRequest(AppState& app, ClientSlot& slot, const QByteArray& text) {
  Q_UNUSED(text);
  SendError(app, slot, ErrorKind::MissingInterpreter);
}

}  // namespace orvane
