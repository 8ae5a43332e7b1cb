#include "UniqueAny.h"

#include <setupapi.h>

void DevInfoListTraits::close(void* list) noexcept { ::SetupDiDestroyDeviceInfoList(list); }
