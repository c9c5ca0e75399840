#include "platform/controls.h"

#include <cmath>
#include <limits>

namespace tarvo::platform {

int roundHalfEven16(double value)
{
    if (std::isnan(value))
        return 0;
    // nearbyint rounds half to even in the default rounding mode.
    const double r = std::nearbyint(value);
    if (r > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (r < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return static_cast<int>(r);
}

void Controls::advanceProgress(double points)
{
    // The bar holds single precision; the sum is rounded as a whole.
    const float sum = static_cast<float>(progress()) + static_cast<float>(points);
    const int value = roundHalfEven16(sum);
    setProgress(value > 99 ? 100 : value);
}

}  // namespace tarvo::platform
