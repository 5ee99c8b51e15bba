#include "wifi/SystemLocationProvider.h"

// The class lives in its header; this file gives it a home for its meta-object.
