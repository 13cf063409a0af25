/*
 * read_position: finds the controller on COM1 ... COM8, prints its name and the position of
 * its four axes in millimetres and in steps, and closes the connection.
 *
 * Build against the installed library:
 *     cc read_position.c $(pkg-config --cflags --libs quorlink) -o read_position
 * Try it without hardware:
 *     quorlink-sim --ports COM3 -- ./read_position
 */
#include <quorlink.h>

#include <stdio.h>
#include <string.h>

static const char* describeOpenError(int code)
{
    switch (code) {
    case QUORLINK_ERROR_PORT_NOT_OPENED:
        return "the port could not be opened";
    case QUORLINK_ERROR_NO_STATUS_ANSWER:
        return "the controller did not accept the connection";
    case QUORLINK_ERROR_NO_CONTROLLER_FOUND:
        return "no controller answered on COM1 ... COM8";
    case QUORLINK_ERROR_NAME_NOT_FOUND:
        return "no controller with that name";
    default:
        return "unknown error";
    }
}

int main(void)
{
    ConnectionContext ctx;
    memset(&ctx, 0, sizeof ctx);

    if (!KorvexOpenConnectionAuto(&ctx)) {
        fprintf(stderr, "read_position: no connection: %s (error code %d)\n", describeOpenError(ctx.errorCode),
                ctx.errorCode);
        return 1;
    }
    printf("Connected on %s to controller \"%.16s\"\n", ctx.portName, ctx.controllerName);

    float mm[4];
    int32_t steps[4];
    unsigned char status = 0;
    int ok = 1;
    if (GetPosition_mm(&ctx, mm, &status)) {
        printf("Position (mm):    X %10.3f  Y %10.3f  Z %10.3f  C %10.3f  (status %u)\n", mm[0], mm[1], mm[2], mm[3],
               status);
    } else {
        fprintf(stderr, "read_position: the controller did not answer the position query (mm)\n");
        ok = 0;
    }
    if (GetPosition_Schritte(&ctx, steps, &status)) {
        printf("Position (steps): X %10d  Y %10d  Z %10d  C %10d  (status %u)\n", (int)steps[0], (int)steps[1],
               (int)steps[2], (int)steps[3], status);
    } else {
        fprintf(stderr, "read_position: the controller did not answer the position query (steps)\n");
        ok = 0;
    }
    KorvexCloseConnection(&ctx);
    return ok ? 0 : 1;
}
