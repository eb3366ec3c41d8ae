// MulDiv: a product of two 32-bit values divided without overflow, rounded half away from zero.
#include "core/internal.h"

int WINAPI MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    long long product = static_cast<long long>(number) * numerator;
    long long n = product < 0 ? -product : product;
    long long d = denominator < 0 ? -static_cast<long long>(denominator) : denominator;
    long long q = (n + d / 2) / d;
    if ((product < 0) != (denominator < 0))
        q = -q;
    if (q > INT32_MAX || q < INT32_MIN)
        return -1;
    return static_cast<int>(q);
}
