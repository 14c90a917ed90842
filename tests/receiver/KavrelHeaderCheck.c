/* The library's header compiles as plain C, as any host may include it. */
#include "kavrel.h"

static int32_t KAVREL_CALL onEvent(const char* text, int32_t code, const void* data, int32_t length)
{
    (void)text;
    (void)data;
    return code + length;
}

KavrelHostCallback kavrelHeaderCheckCallback(void)
{
    return onEvent;
}
