// setjmp.h -- MSVC-style x64 setjmp/longjmp declarations (stand-in; mingw-w64's
// version conflicts with clang's MSVC-mode intrin.h).
#pragma once
#ifndef _INC_SETJMP
#define _INC_SETJMP
#include <vcruntime.h>
_CRT_BEGIN_C_HEADER
typedef struct __declspec(align(16)) _SETJMP_FLOAT128 {
  unsigned __int64 Part[2];
} SETJMP_FLOAT128;
#define _JBLEN 16
typedef SETJMP_FLOAT128 _JBTYPE;
#ifndef _JMP_BUF_DEFINED
#define _JMP_BUF_DEFINED
typedef _JBTYPE jmp_buf[_JBLEN];
#endif
typedef struct _JUMP_BUFFER {
  unsigned __int64 Frame, Rbx, Rsp, Rbp, Rsi, Rdi, R12, R13, R14, R15, Rip;
  unsigned long MxCsr;
  unsigned short FpCsr;
  unsigned short Spare;
  SETJMP_FLOAT128 Xmm6, Xmm7, Xmm8, Xmm9, Xmm10, Xmm11, Xmm12, Xmm13, Xmm14, Xmm15;
} _JUMP_BUFFER;
#define setjmp _setjmp
int __cdecl _setjmp(jmp_buf _Buf);
#ifdef __cplusplus
__declspec(noreturn) void __cdecl longjmp(jmp_buf _Buf, int _Value) noexcept(false);
#else
__declspec(noreturn) void __cdecl longjmp(jmp_buf _Buf, int _Value);
#endif
_CRT_END_C_HEADER
#endif
