// A libftd2xx that lacks FT_GetQueueStatus, as an old or wrong library would: the loader looks every call up and
// refuses the library before it calls any, so the others are bare symbols.
#define PARTIAL_CALL(name) extern "C" __attribute__((visibility("default"))) int name() { return 2; }

PARTIAL_CALL(FT_ListDevices) PARTIAL_CALL(FT_OpenEx) PARTIAL_CALL(FT_ResetDevice) PARTIAL_CALL(FT_Purge)
PARTIAL_CALL(FT_SetBaudRate) PARTIAL_CALL(FT_SetDataCharacteristics) PARTIAL_CALL(FT_SetFlowControl)
PARTIAL_CALL(FT_SetDtr) PARTIAL_CALL(FT_ClrDtr) PARTIAL_CALL(FT_SetRts) PARTIAL_CALL(FT_ClrRts)
PARTIAL_CALL(FT_Write) PARTIAL_CALL(FT_Read) PARTIAL_CALL(FT_Close)
