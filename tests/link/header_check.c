/* Compiled as C: the public header, its layout and a call through it. */
#include "link/include/quorlink.h"

#include <string.h>

_Static_assert(sizeof(ConnectionContext) == 104, "ConnectionContext is 104 bytes on x86-64");
_Static_assert(offsetof(ConnectionContext, controllerName) == 9, "controllerName follows the port name");

int quorlinkHeaderCheckFromC(void)
{
    ConnectionContext ctx;
    memset(&ctx, 0, sizeof ctx);
    if (KorvexCloseConnection(&ctx) != 0 || QUORLINK_ERROR_NAME_NOT_FOUND != 4)
        return -1;
    return (int)sizeof ctx;
}
