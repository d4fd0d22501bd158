#pragma once
#include <vcruntime.h>
