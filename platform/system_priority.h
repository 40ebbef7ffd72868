// The system's side of platform/priority.h (platform/<system>/priority.cpp): the requests
// themselves, after the test hook had its say. Internal to the platform library.
#pragma once

#include "platform/priority.h"

namespace kinetra {

bool SystemSetProcessPriorityClass(PriorityClass priorityClass);
bool SystemSetCurrentThreadTimeCritical();

}  // namespace kinetra
