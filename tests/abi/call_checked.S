/* Calls into the DLL the way a host does, and measures what the callee left
   on the stack.

   struct TCallResult { uint32_t Eax, Edx; int32_t StackDelta; double St0; };
   (St0 stands at offset 16: doubles are 8-byte aligned in structures.)

   void qmxCallChecked(void* entry, const uint32_t* words, int count,
                       int returnsDouble, TCallResult* out);            cdecl
     Pushes the words right to left (stdcall order), calls, and records EAX,
     EDX, the floating-point result when asked, and ESP after the call minus
     ESP before the pushes: 0 when the callee removed exactly its arguments.

   void qmxCallRegister(void* entry, uint32_t eax, uint32_t edx, TCallResult* out);  cdecl
     Calls with the two arguments in EAX and EDX and none on the stack. */

        .text
        .globl  _qmxCallChecked
        .def    _qmxCallChecked; .scl 2; .type 32; .endef
_qmxCallChecked:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi
        movl    16(%ebp), %ecx
        movl    %esp, %edi
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        pushl   (%esi,%ecx,4)
        jmp     1b
2:      movl    8(%ebp), %eax
        call    *%eax
        movl    24(%ebp), %ebx
        movl    %eax, 0(%ebx)
        movl    %edx, 4(%ebx)
        movl    %esp, %ecx
        subl    %edi, %ecx
        movl    %ecx, 8(%ebx)
        cmpl    $0, 20(%ebp)
        je      3f
        fstpl   16(%ebx)
3:      leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

        .globl  _qmxCallRegister
        .def    _qmxCallRegister; .scl 2; .type 32; .endef
_qmxCallRegister:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    %esp, %edi
        movl    12(%ebp), %eax
        movl    16(%ebp), %edx
        movl    8(%ebp), %ecx
        call    *%ecx
        movl    20(%ebp), %ebx
        movl    %eax, 0(%ebx)
        movl    %edx, 4(%ebx)
        movl    %esp, %ecx
        subl    %edi, %ecx
        movl    %ecx, 8(%ebx)
        leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
