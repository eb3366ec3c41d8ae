// The reply side of the discovery on its own: validation, the key, the de-duplication table and the
// records written for the caller.
#include "netfind.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using namespace netfind;
using Bytes = std::vector<std::uint8_t>;
using Mac = std::array<std::uint8_t, 6>;

constexpr Mac kMac{0x02, 0x00, 0x00, 0x12, 0x34, 0x56};

// A reply laid out by hand: op, id, printer name at 4, card name at 36, MAC at 56, IPv4 at 66.
Bytes Reply(std::string printer, std::string card, Mac mac = kMac,
            std::array<std::uint8_t, 4> ip = {192, 168, 0, 5})
{
    Bytes r(164, 0);
    r[0] = 0x00, r[1] = 0x02, r[2] = 0x95, r[3] = 0x06;
    std::memcpy(&r[4], printer.data(), std::min<std::size_t>(printer.size(), 32));
    std::memcpy(&r[36], card.data(), std::min<std::size_t>(card.size(), 16));
    std::memcpy(&r[56], mac.data(), 6);
    std::memcpy(&r[66], ip.data(), 4);
    return r;
}

TEST(CardReplyKey, SumsTheNameBytesSignedAndTheMacUnsigned)
{
    struct Case
    {
        std::array<char, 16> name;
        std::uint16_t key;
    } cases[] = {
        {{'R', 'X', '-', 'Q', '7', 'N', 'I', 'C'}, 0x02D7},
        {{static_cast<char>(0xC1), 0x58}, 0x00B7}, // an unsigned reading would give 0x01B7
        {{}, 158},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cardReplyKey(c.name.data(), kMac.data()), c.key);
}

TEST(CardReply, NeedsTheReplyOperationTheProtocolIdAndTheCardsAddress)
{
    Bytes good = Reply("KG-100", "RX-Q7NIC");
    Bytes query = good;
    query[1] = 0x04;
    Bytes otherProtocol = good;
    otherProtocol[3] = 0x07;
    struct Case
    {
        Bytes datagram;
        bool accepted;
    } cases[] = {
        {good, true},
        {Bytes(good.begin(), good.begin() + 70), true},
        {Bytes(good.begin(), good.begin() + 69), false},
        {query, false},
        {otherProtocol, false},
        {{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isCardReply(c.datagram), c.accepted) << c.datagram.size();
}

TEST(AddUniqueReply, KeepsOneSlotPerCardByNamesMacAndAddress)
{
    std::vector<PrnSvrReplyEntry> table(4);
    Bytes first = Reply("KG-100", "RX-Q7NIC");
    Bytes sameButTail = first;
    sameButTail[70] = 0xEE; // past the address: not part of what tells replies apart
    sameButTail[163] = 0xEE;
    Bytes otherAddress = Reply("KG-100", "RX-Q7NIC", kMac, {192, 168, 0, 6});
    Bytes otherUnused = first;
    otherUnused[52] = 1; // inside the compared bytes, though unused
    EXPECT_TRUE(addUniqueReply(table, first.data()));
    EXPECT_FALSE(addUniqueReply(table, sameButTail.data()));
    EXPECT_FALSE(addUniqueReply(table, first.data()));
    EXPECT_TRUE(addUniqueReply(table, otherAddress.data()));
    EXPECT_TRUE(addUniqueReply(table, otherUnused.data()));
    EXPECT_EQ(std::uint16_t{table[0].key}, 0x02D7); // packed: read by value
    EXPECT_EQ(std::memcmp(table[0].body, first.data() + 4, 160), 0);
    EXPECT_EQ(std::memcmp(table[1].body, otherAddress.data() + 4, 160), 0);
    EXPECT_EQ(std::uint32_t{table[3].inUse}, 0u);
}

TEST(AddUniqueReply, DropsEveryReplyOnceTheLastSlotIsTaken)
{
    std::vector<PrnSvrReplyEntry> table(2);
    Bytes a = Reply("A", "RX-A"), b = Reply("B", "RX-B"), c = Reply("C", "RX-C");
    EXPECT_TRUE(addUniqueReply(table, a.data()));
    EXPECT_TRUE(addUniqueReply(table, b.data()));
    EXPECT_FALSE(addUniqueReply(table, c.data()));
    EXPECT_EQ(std::memcmp(table[1].body, b.data() + 4, 160), 0);
    EXPECT_FALSE(addUniqueReply(std::span<PrnSvrReplyEntry>{}, a.data()));
}

TEST(WriteCardRecords, KeepsRxCardsInArrivalOrderAndNamesInsideTheirFields)
{
    const std::string printer32(32, 'P');
    const std::string card16 = "RX-" + std::string(13, 'C');
    std::vector<Bytes> replies = {
        Reply("KG-100", "rx-lower", {1, 2, 3, 4, 5, 6}, {10, 0, 0, 1}), Reply("HIDDEN", "XR-OTHER"),
        Reply(printer32, card16, {7, 8, 9, 10, 11, 12}, {10, 0, 0, 2}),
        Reply("", "RX"), // too short a name for the prefix
    };
    std::vector<PrnSvrReplyEntry> table(replies.size());
    for (const Bytes& r : replies)
        ASSERT_TRUE(addUniqueReply(table, r.data()));

    // Canaries around and inside the records: what the writer does not own stays, what it owns is cleared.
    std::vector<std::uint8_t> out(sizeof(PrnSvrInfo) * 3 + 2, 0xAB);
    auto* records = reinterpret_cast<PrnSvrInfo*>(out.data() + 1);
    ASSERT_EQ(writeCardRecords(table, table.size(), records, 3), 2u);

    const std::uint8_t* r0 = out.data() + 1;
    EXPECT_EQ(Bytes(r0, r0 + 10), (Bytes{1, 2, 3, 4, 5, 6, 10, 0, 0, 1}));
    EXPECT_EQ(Bytes(r0 + 10, r0 + 26),
              Bytes({'r', 'x', '-', 'l', 'o', 'w', 'e', 'r', 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r0 + 26), 32),
              std::string("KG-100") + std::string(26, '\0'));

    const std::uint8_t* r1 = r0 + 58;
    EXPECT_EQ(Bytes(r1, r1 + 10), (Bytes{7, 8, 9, 10, 11, 12, 10, 0, 0, 2}));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r1 + 10), 16), card16);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r1 + 26), 32), printer32);

    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(Bytes(r1 + 58, r1 + 58 + 59), Bytes(59, 0xAB)); // the third record untouched
}

TEST(WriteCardRecords, NeverWritesMoreThanItsCapacityOrReadsPastStored)
{
    std::vector<PrnSvrReplyEntry> table(3);
    for (const char* card : {"RX-1", "RX-2", "RX-3"})
        ASSERT_TRUE(addUniqueReply(table, Reply("", card).data()));
    PrnSvrInfo out[3]{};
    EXPECT_EQ(writeCardRecords(table, 3, out, 2), 2u);
    EXPECT_EQ(writeCardRecords(table, 1, out, 3), 1u);
    EXPECT_EQ(writeCardRecords(table, 9, out, 3), 3u);
}
} // namespace
