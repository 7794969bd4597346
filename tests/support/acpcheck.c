/* Prints the ANSI code page and succeeds only for 932: the Shift-JIS tests depend on it. */
#include <windows.h>
#include <stdio.h>

int main(void)
{
    UINT acp = GetACP();
    printf("ANSI code page %u\n", acp);
    return acp == 932 ? 0 : 1;
}
