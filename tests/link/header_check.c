/* Compiled as C: the public header, with its layout checks, and a call through it. */
#include <quorlink.h>

int quorlinkHeaderCheckFromC(void)
{
    ConnectionContext ctx = {0};
    return KorvexCloseConnection(&ctx) == 0 ? (int)sizeof ctx : -1;
}
