#include "views/spectrum/TSharedToolParams.h"

TSharedToolParams& SharedToolParams()
{
    static TSharedToolParams params;
    return params;
}
