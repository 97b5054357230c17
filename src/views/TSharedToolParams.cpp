#include "views/TSharedToolParams.h"

TSharedToolParams& SharedToolParams()
{
    static TSharedToolParams params;
    return params;
}
