#pragma once

// A ring of bytes, as the port's input and output rings and the POSIX
// device's queue keep one: bytes are stored at Head and taken at Tail, both
// below Size; when the two meet the ring is empty, unless Full says every
// byte is stored.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace qmx {

class TByteRing {
public:
    void Allocate(std::uint16_t size) {
        FBytes = std::make_unique<std::uint8_t[]>(size);
        FSize = size;
        Head = Tail = 0;
        Full = false;
    }
    void Free() {
        FBytes.reset();
        FSize = 0;
        Head = Tail = 0;
        Full = false;
    }
    bool Allocated() const { return FBytes != nullptr; }
    std::uint16_t Size() const { return FSize; }

    // Bytes stored and not yet taken.
    std::uint16_t Count() const {
        if (Full) return FSize;
        if (Tail <= Head) return static_cast<std::uint16_t>(Head - Tail);
        return static_cast<std::uint16_t>(Head + FSize - Tail);
    }
    std::uint16_t Room() const { return static_cast<std::uint16_t>(FSize - Count()); }
    // The stored bytes from Tail that run without a break (to Head, or to
    // the end of the ring).
    std::uint16_t StoredSpan() const {
        return static_cast<std::uint16_t>(Head > Tail && !Full ? Head - Tail : (Count() == 0 ? 0 : FSize - Tail));
    }
    // The free bytes from Head that run without a break (to Tail, or to the
    // end of the ring).
    std::uint16_t FreeSpan() const {
        if (Full) return 0;
        return static_cast<std::uint16_t>(Tail > Head ? Tail - Head : FSize - Head);
    }

    std::uint8_t* AtHead() { return &FBytes[Head]; }
    std::uint8_t* AtTail() { return &FBytes[Tail]; }
    // The stored byte `offset` places after Tail.
    std::uint8_t Peek(std::uint16_t offset) const { return FBytes[(Tail + offset) % FSize]; }

    // `count` bytes were written at Head (within FreeSpan).
    void Stored(std::uint16_t count) {
        Head = Advance(Head, count);
        if (count != 0) Full = Head == Tail;
    }
    // `count` bytes were taken at Tail (within StoredSpan).
    void Taken(std::uint16_t count) {
        Tail = Advance(Tail, count);
        Full = false;
    }
    // Copies `count` bytes in at Head, in two parts where they cross the
    // end; the caller has checked the room.
    void Put(const std::uint8_t* bytes, std::uint16_t count) {
        const auto room = static_cast<std::uint16_t>(FSize - Head);
        if (count > room) {
            std::memcpy(&FBytes[Head], bytes, room);
            std::memcpy(&FBytes[0], bytes + room, count - room);
        } else {
            std::memcpy(&FBytes[Head], bytes, count);
        }
        Stored(count);
    }
    // Copies out and takes up to `count` bytes; returns how many.
    std::uint16_t Get(std::uint8_t* bytes, std::uint16_t count) {
        std::uint16_t copied = 0;
        while (copied < count && Count() > 0) {
            const std::uint16_t span = std::min<std::uint16_t>(StoredSpan(), count - copied);
            std::memcpy(bytes + copied, AtTail(), span);
            Taken(span);
            copied = static_cast<std::uint16_t>(copied + span);
        }
        return copied;
    }
    // Drops every stored byte.
    void Clear() {
        Tail = Head;
        Full = false;
    }

    std::uint16_t Head = 0;
    std::uint16_t Tail = 0;
    bool Full = false;

private:
    std::uint16_t Advance(std::uint16_t index, std::uint16_t count) const {
        return static_cast<std::uint16_t>((std::uint32_t{index} + count) % FSize);
    }

    std::unique_ptr<std::uint8_t[]> FBytes;
    std::uint16_t FSize = 0;
};

}  // namespace qmx
