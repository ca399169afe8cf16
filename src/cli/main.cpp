#include <cstdio>

int main()
{
    std::fputs("quillmark-cli: not built yet\n", stderr);
    return 2;
}
