// The bytes of the object and pickup messages, written here from the wire
// rules by hand: integers most significant byte first, and every position
// or rotation one vector or quaternion value whose bytes are reversed as a
// whole, so that z (or w) comes first.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "players/PlayerTestFixture.h"

namespace
{
using Bytes = std::vector<uint8_t>;

// The floats of these cases, most significant byte first.
const Bytes F0 = {0x00, 0x00, 0x00, 0x00};
const Bytes F1 = {0x3F, 0x80, 0x00, 0x00};
const Bytes F2 = {0x40, 0x00, 0x00, 0x00};
const Bytes F4 = {0x40, 0x80, 0x00, 0x00};
const Bytes F8 = {0x41, 0x00, 0x00, 0x00};
const Bytes F10 = {0x41, 0x20, 0x00, 0x00};
const Bytes F20 = {0x41, 0xA0, 0x00, 0x00};
const Bytes F100 = {0x42, 0xC8, 0x00, 0x00};
const Bytes F200 = {0x43, 0x48, 0x00, 0x00};

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

struct SWireCase
{
    const char* szWhat;
    std::function<void(PluginFuncs*)> action;
    int nId;
    Bytes payload;
};

class WorldWireTest : public CPlayerTest
{
protected:
    void SetUp() override
    {
        CPlayerTest::SetUp();
        ASSERT_NE(Spawned(0, "Viewer", Vector(0, 0, 10)), nullptr);
        Peer().ClearSent();
    }
};

TEST_F(WorldWireTest, PositionsAndRotationsTravelAsReversedBlocks)
{
    const Bytes identity = Concat({F1, F0, F0, F0});
    const Bytes turned = Concat({F8, F4, F2, F1}); // (1, 2, 4, 8) reversed
    const SWireCase aCases[] = {
        {"object at (100, 0, 10)", [](PluginFuncs* f) { f->CreateObject(1337, 0, 100, 0, 10, 255); }, 206,
         Concat({{0x00, 0x00, 0x05, 0x39, 0xFF}, F10, F0, F100, identity, {0x00, 0x00}})},
        {"placed at (100, 0, 20)", [](PluginFuncs* f) { f->SetObjectPosition(0, 100, 0, 20); }, 213,
         Concat({{0x00, 0x00}, F20, F0, F100})},
        {"turned at once", [](PluginFuncs* f) { f->RotateObjectTo(0, 1, 2, 4, 8, 0); }, 212,
         Concat({{0x00, 0x00}, turned})},
        {"moved over 1000 ms", [](PluginFuncs* f) { f->MoveObjectTo(0, 200, 0, 20, 1000); }, 211,
         Concat({{0x00, 0x00, 0x03, 0xE8}, F20, F0, F100, F20, F0, F200})},
        {"turned over 500 ms", [](PluginFuncs* f) { f->RotateObjectTo(0, 0, 0, 0, 1, 500); }, 210,
         Concat({{0x00, 0x00, 0x01, 0xF4}, turned, identity})},
        {"pickup at (4, 2, 10)", [](PluginFuncs* f) { f->CreatePickup(366, 0, 25, 4, 2, 10, 255, 1); }, 214,
         Concat({{0x00, 0x00, 0x08, 0x00, 0x01, 0x6E, 0x00, 0x00, 0x00, 0x19}, F10, F2, F4, {0xFF}})},
        {"pickup placed at (8, 2, 10)", [](PluginFuncs* f) { f->SetPickupPosition(0, 8, 2, 10); }, 217,
         Concat({{0x00, 0x00, 0x08, 0x00}, F10, F2, F8})},
    };
    for (const SWireCase& test : aCases)
    {
        SCOPED_TRACE(test.szWhat);
        Peer().ClearSent();
        test.action(F());
        const auto sent = Peer().SentTo(0, test.nId);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].Payload(), test.payload);
    }
}

} // namespace
