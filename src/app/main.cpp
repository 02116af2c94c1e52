#include <cstdio>

int main()
{
    std::fputs("usage: pelvano <VTS_nn_0.IFO> <output file> -pN\n", stderr);
    return 2;
}
