// Filled in by the pty integration set.
#include "PtyFixture.h"
