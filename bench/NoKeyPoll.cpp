// The player built without its key poll: linked ahead of the app library,
// this empty PollKeys takes the place of the real one, so the tick does
// everything else as usual and no X connection for keys is opened.

#include <string>

namespace quellora {

void PollKeys() {}

} // namespace quellora
