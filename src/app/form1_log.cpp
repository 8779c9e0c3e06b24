// The ping log and the address history side of the main window.
#include "app/form1.h"

namespace quorvel {

void TForm1::ConnectLogHandlers() {}

}  // namespace quorvel
