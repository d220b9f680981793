// shell/warm_up.h - meeting the driver's shader compiles before the first frame.
#pragma once

// Draws frames spread over the whole show with an empty scissor box, then puts
// back everything they changed; QIV_NO_WARM_UP=1 in the environment skips it.
void shell_warm_up();
