// crt_chkstk.cpp -- __chkstk stack probe (rax = frame size; preserves all but r10/r11/flags).
extern "C" __attribute__((naked)) void __chkstk(void) {
  __asm__ volatile(
      "pushq %rcx\n\t"
      "pushq %rax\n\t"
      "leaq 24(%rsp), %rcx\n\t"
      "1:\n\t"
      "cmpq $0x1000, %rax\n\t"
      "jb 2f\n\t"
      "subq $0x1000, %rcx\n\t"
      "orq $0, (%rcx)\n\t"
      "subq $0x1000, %rax\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "subq %rax, %rcx\n\t"
      "orq $0, (%rcx)\n\t"
      "popq %rax\n\t"
      "popq %rcx\n\t"
      "ret\n\t");
}
