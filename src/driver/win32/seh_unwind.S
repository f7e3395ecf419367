/* RtlUnwind, with the registers the C calling convention keeps (EBX, ESI,
   EDI) saved around it: on x86 RtlUnwind does not preserve them.
   void qmxRtlUnwindPreserving(void* targetFrame, EXCEPTION_RECORD* record);  (cdecl) */
        .text
        .globl  _qmxRtlUnwindPreserving
        .def    _qmxRtlUnwindPreserving; .scl 2; .type 32; .endef
_qmxRtlUnwindPreserving:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   $0              /* return value */
        pushl   12(%ebp)        /* exception record */
        pushl   $0              /* target IP: return here */
        pushl   8(%ebp)         /* target frame */
        call    _RtlUnwind@16
        leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
