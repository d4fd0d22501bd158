// Overlay for mingw-w64's sal.h: a few annotations the UCRT/STL use that it lacks.
#pragma once
#include_next <sal.h>
#ifndef _Check_return_opt_
#define _Check_return_opt_
#endif
#ifndef _Check_return_wat_
#define _Check_return_wat_
#endif
#ifndef _Deref_post_opt_valid_
#define _Deref_post_opt_valid_
#endif
#ifndef _Deref_post_valid_
#define _Deref_post_valid_
#endif
#ifndef _Deref_pre_opt_valid_
#define _Deref_pre_opt_valid_
#endif
