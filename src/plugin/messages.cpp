// The prefix that opens every error message: the plugin's name and, while a batch file runs,
// where in it the message arose.
#include "messages.h"

#include "../platform/widetext.h"
#include "tallix_version.h"

void PrintMessagePrefix() {
    WCHAR buffer[HOST_BUFFER_CAPACITY] = {};
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);

    // The name goes out before anything is expanded, so it is there whatever the host does.
    WideCopy(buffer, HOST_BUFFER_CAPACITY, WIDE("%_batch"));
    Qprintf(err, WIDE("%s plugin: "), WIDE(TALLIX_PRODUCT_NAME));
    ExpandVariables(buffer, 1);
    if (buffer[0] == WIDE('0')) return; // no batch file running

    WideCopy(buffer, HOST_BUFFER_CAPACITY, WIDE("%_batchname [%_batchline]  "));
    ExpandVariables(buffer, 1);
    buffer[HOST_BUFFER_CAPACITY - 1] = 0; // a host that filled the buffer left no terminator
    // Passed as an argument, not as the format, so a percent sign in a file name prints as is.
    Qprintf(err, WIDE("%s"), buffer);
}
