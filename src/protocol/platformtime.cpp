#include "protocol/platformtime.h"

bool LocalTimeOf(std::time_t t, std::tm &tm)
{
#ifdef _WIN32
    return localtime_s(&tm, &t) == 0;
#else
    return localtime_r(&t, &tm) != nullptr;
#endif
}
