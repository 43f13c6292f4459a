#include "namedwindows.h"

// One line per window that opens with "tessaly --window <name>":
//
//   NamedWindows::add({"name", "what it is", [] { return new SomeWindow(nullptr); }});
void registerStandardWindows()
{
}
