// SPDX-License-Identifier: MIT
#include <cstdio>

int main()
{
    std::puts("QEL Stashlet: the tray application is not built yet; only its shelf core is.");
    return 0;
}
