#pragma once

// The class header a host's class library reads in front of an object's
// table: every object of that library can tell its class name and instance
// size, and the library calls the standard virtual entries of any object it
// holds. The silo's table carries one, so a host that treats the silo as one
// of its own objects reads sound values and calls harmless code.
//
// The 19 words stand immediately before slot 0, at byte offsets -76 to -4.
// The entries use the class library's register convention: the object (or
// the class) in EAX, then EDX and ECX; EBX, ESI, EDI and EBP kept.

#include <cstddef>
#include <cstdint>

namespace qmx {

struct TClassHeader {
    const void* SelfPointer;        // -76: slot 0 of the same table
    const void* InterfaceTable;     // -72: nil
    const void* AutomationTable;    // -68: nil
    const void* InitTable;          // -64: nil
    const void* TypeInfo;           // -60: nil
    const void* FieldTable;         // -56: nil
    const void* MethodTable;        // -52: nil
    const void* DynamicTable;       // -48: nil
    const void* ClassName;          // -44: a short string: length byte, then the name
    std::uintptr_t InstanceSize;    // -40
    const void* Parent;             // -36: nil, no parent class
    const void* SafeCallException;  // -32: returns E_UNEXPECTED
    const void* AfterConstruction;  // -28: does nothing
    const void* BeforeDestruction;  // -24: does nothing
    const void* Dispatch;           // -20: does nothing
    const void* DefaultHandler;     // -16: does nothing
    const void* NewInstance;        // -12: returns nil: a host cannot make a silo this way
    const void* FreeInstance;       // -8: does nothing: the destructor frees the silo
    const void* Destroy;            // -4: the destructor entry
};
static_assert(sizeof(TClassHeader) == 76, "19 words before slot 0");

// A header with the standard entries, nil tables and no parent.
TClassHeader MakeClassHeader(const void* slotZero, const std::uint8_t* shortName, std::size_t instanceSize,
                             const void* destroy);

}  // namespace qmx
