// The web server side of the main window.
#include "app/form1.h"

namespace quorvel {

void TForm1::ConnectWebHandlers() {}

}  // namespace quorvel
