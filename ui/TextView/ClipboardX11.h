#pragma once

namespace skaldrun::ui {

// Where the clipboard is X11's, a copy larger than one part goes to each program that asks for
// its UTF-8 in parts made as they are sent (the protocol's incremental transfer), so that the
// text is never held whole a second time. Called before each copy, it sets itself up once per
// application; it does nothing on other platforms or where the program was built without XCB.
void SendLargeCopiesInParts();

} // namespace skaldrun::ui
