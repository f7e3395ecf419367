// The ring both of the port's rings and the POSIX device's queue are: what
// it counts, the spans it offers at each end, and when it is full.

#include <gtest/gtest.h>

#include <vector>

#include "serial/byte_ring.h"

namespace qmx {
namespace {

TEST(ByteRing, CountsAndSpansAtEveryPlaceOfHeadAndTail) {
    struct TCase {
        const char* Name;
        std::uint16_t Stored, Taken, ThenStored;  // on a ring of 8
        std::uint16_t Count, StoredSpan, FreeSpan;
        bool Full;
    };
    const TCase cases[] = {
        {"empty", 0, 0, 0, 0, 0, 8, false},
        {"some", 3, 0, 0, 3, 3, 5, false},
        {"all", 8, 0, 0, 8, 8, 0, true},
        {"all taken", 8, 8, 0, 0, 0, 8, false},  // head and tail at 0 again
        {"wrapped", 6, 4, 4, 6, 4, 2, false},    // tail 4, head 2: 4..7 and 0..1 stored
        {"full after a wrap", 6, 4, 6, 8, 4, 0, true},
        {"empty in the middle", 5, 5, 0, 0, 0, 3, false},
    };
    for (const auto& c : cases) {
        TByteRing ring;
        ring.Allocate(8);
        std::vector<std::uint8_t> bytes(16);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
        ring.Put(bytes.data(), c.Stored);
        std::vector<std::uint8_t> out(16);
        EXPECT_EQ(ring.Get(out.data(), c.Taken), c.Taken) << c.Name;
        ring.Put(bytes.data() + c.Stored, c.ThenStored);
        EXPECT_EQ(ring.Count(), c.Count) << c.Name;
        EXPECT_EQ(ring.Room(), 8 - c.Count) << c.Name;
        EXPECT_EQ(ring.StoredSpan(), c.StoredSpan) << c.Name;
        EXPECT_EQ(ring.FreeSpan(), c.FreeSpan) << c.Name;
        EXPECT_EQ(ring.Full, c.Full) << c.Name;
        // What comes out is what went in, in order, across the end.
        std::vector<std::uint8_t> rest(c.Count);
        EXPECT_EQ(ring.Get(rest.data(), 16), c.Count) << c.Name;
        for (std::uint16_t i = 0; i < c.Count; ++i)
            EXPECT_EQ(rest[i], bytes[c.Taken + i]) << c.Name << " byte " << i;
    }
}

TEST(ByteRing, ClearDropsEverythingAndAZeroStoreLeavesFullAlone) {
    TByteRing ring;
    ring.Allocate(4);
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    ring.Put(bytes, 4);
    ring.Stored(0);
    EXPECT_TRUE(ring.Full) << "storing nothing says nothing of the room";
    ring.Clear();
    EXPECT_EQ(ring.Count(), 0);
    EXPECT_FALSE(ring.Full);
    EXPECT_EQ(ring.FreeSpan(), 4);
}

}  // namespace
}  // namespace qmx
