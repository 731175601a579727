// The data objects that identify a build. Nothing reads them; they are there for strings(1) and
// for whoever looks at a library found on a till. `extern` gives the constants external linkage.
#include "BuildInfo.h"

extern const char BuildDate[] = "Built " QEL_BUILD_DATE;
extern const char TarnwVersion[] = "TARNL Version " QEL_VERSION " / ";
extern const char EyeCatcher1[] = "~~~";
extern const char EyeCatcher2[] = "~~~";
extern const char ExtraInfo = 0;
