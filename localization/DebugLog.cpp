#include "localization/DebugLog.h"

namespace ondrel {

Q_LOGGING_CATEGORY(debugLogCategory, "ondrel")

} // namespace ondrel
