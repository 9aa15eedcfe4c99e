// ramux-server: the reference update server (answers get_splash, get_table, check_update).
#include <cstdio>

int main()
{
    std::fputs("ramux-server: not built yet\n", stderr);
    return 1;
}
