#include "telemetry/CPCIDCalculator.h"
#include "telemetry/SmbiosIdentity.h"
#include "telemetry/SmbiosStructure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <string>
#include <vector>

namespace inkwarden {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A structure: formatted area (type, length, handle, then the given fields) and strings.
Bytes Structure(std::uint8_t type, Bytes fields, const std::vector<std::string>& strings) {
    Bytes bytes;
    bytes.push_back(type);
    bytes.push_back(static_cast<std::uint8_t>(4 + fields.size()));
    bytes.push_back(0x00);
    bytes.push_back(0x01);
    for (std::uint8_t field : fields) {
        bytes.push_back(field);
    }
    for (const std::string& s : strings) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
    }
    if (strings.empty()) {
        bytes.push_back(0);
    }
    bytes.push_back(0);
    return bytes;
}

Bytes SystemStructure() {
    Bytes fields(23, 0);
    fields[0] = 1;  // offset 4: manufacturer
    fields[1] = 2;  // offset 5: product
    fields[2] = 3;  // offset 6: version
    fields[3] = 4;  // offset 7: serial
    fields[21] = 5; // offset 25: SKU
    return Structure(1, fields, {"Maker", "Model", "V1", "SN1", "SKU9"});
}

Bytes Enclosure(std::uint8_t chassis) {
    // offset 4 manufacturer, 5 chassis type, 6 version, 7 serial, 8 asset tag
    return Structure(3, {1, chassis, 2, 0, 3}, {"Case Co", "CV", "Tag"});
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

TEST(SmbiosTableTest, WalkFindsEachStructureAndStopsAtOneThatDoesNotFit) {
    const Bytes table =
        Join({Structure(0, {}, {}), SystemStructure(), Structure(127, {}, {}), Enclosure(3)});
    const auto all = WalkSmbiosTable(table);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].total_size, 6u); // no strings: two NULs
    EXPECT_EQ(all[2].type, 127);      // the end marker does not stop the walk
    EXPECT_EQ(all[3].type, 3);

    // Cut inside the last structure's strings: no double NUL follows.
    EXPECT_EQ(WalkSmbiosTable(std::span(table).first(table.size() - 1)).size(), 3u);
    // A formatted area reaching the end, and a lone byte.
    EXPECT_EQ(WalkSmbiosTable(Bytes{1, 30, 0, 0, 0, 0}).size(), 0u);
    EXPECT_EQ(WalkSmbiosTable(Bytes{1}).size(), 0u);
    EXPECT_EQ(WalkSmbiosTable(Bytes{}).size(), 0u);
    // A length byte below the header still moves on.
    EXPECT_EQ(WalkSmbiosTable(Bytes{0, 0, 0, 0, 0, 0}).size(), 3u);
}

TEST(SmbiosTableTest, StringIndexes) {
    const Bytes table = Enclosure(3);
    const SmbiosStructure structure = WalkSmbiosTable(table).at(0);
    EXPECT_EQ(SmbiosString(table, structure, 1), "Case Co");
    EXPECT_EQ(SmbiosString(table, structure, 3), "Tag");
    EXPECT_EQ(SmbiosString(table, structure, 0), "");
    EXPECT_EQ(SmbiosString(table, structure, 4), "");
    EXPECT_EQ(SmbiosString(table, structure, 255), "");
    const Bytes bare = Structure(3, {0, 0, 0, 0, 0}, {});
    EXPECT_EQ(SmbiosString(bare, WalkSmbiosTable(bare).at(0), 1), "");
}

TEST(SmbiosTableTest, IdentityTextsAndChassisRules) {
    const Bytes table = Join({SystemStructure(), Enclosure(10), Enclosure(9)});
    testing::internal::CaptureStdout();
    const SmbiosIdentity identity = SmbiosIdentity::FromTable(table, stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "m_cAssetTagNumber:3\n84 97 103 \n");
    EXPECT_EQ(identity.chassis_kind, "NoteBook"); // the first type 3 counts
    EXPECT_EQ(identity.Text(), "TagCase CoNoteBookCVMakerModelSN1SKU9V1");

    EXPECT_EQ(SmbiosIdentity::FromTable(Enclosure(14)).chassis_kind, "NoteBook");
    EXPECT_EQ(SmbiosIdentity::FromTable(Enclosure(0x8A)).chassis_kind, "Desktop");
    EXPECT_EQ(SmbiosIdentity::FromTable(Enclosure(9)).chassis_kind, "Desktop");
    const SmbiosIdentity no_enclosure = SmbiosIdentity::FromTable(SystemStructure());
    EXPECT_EQ(no_enclosure.chassis_kind, "");
    EXPECT_EQ(no_enclosure.Text(), "MakerModelSN1SKU9V1");

    // Too short to hold the fields: read as missing.
    const Bytes short_system = Structure(1, {1, 2, 3, 4}, {"M"});
    EXPECT_EQ(SmbiosIdentity::FromTable(short_system).Text(), "");
    const Bytes short_enclosure = {3, 4, 0, 0, 0, 0};
    EXPECT_EQ(SmbiosIdentity::FromTable(short_enclosure).chassis_kind, "");
}

class FakeFacts : public IMachineFacts {
public:
    std::vector<Bytes> devices;
    Bytes fallback;
    std::optional<SmbiosTables> smbios;

    std::vector<Bytes> ReadDeviceAdapterAddresses() override { return devices; }
    Bytes ReadFallbackAdapterAddress() override { return fallback; }
    CpuidRegisters Cpuid(std::uint32_t leaf, std::uint32_t) override {
        return {0x100 * leaf + 1, 0x100 * leaf + 2, 0x100 * leaf + 3, 0x100 * leaf + 4};
    }
    std::optional<SmbiosTables> ReadSmbiosTables(WindowsClass) override { return smbios; }
};

TEST(MachineIdentifierTest, SmallestDeviceAddressWinsAndFallbackOnlyWithoutDevices) {
    const Bytes a = {0x00, 0x1A, 0x11, 0x22, 0x33, 0x44};
    const Bytes b = {0x00, 0x0C, 0x99, 0x99, 0x99, 0x99};
    FakeFacts facts;
    facts.fallback = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01, 0x02};
    facts.devices = {a, b};
    EXPECT_EQ(CPCIDCalculator::MacPiece(facts), b);
    facts.devices = {b, a};
    EXPECT_EQ(CPCIDCalculator::MacPiece(facts), b);
    // Short answers are zero-filled to 6 bytes, long ones cut.
    facts.devices = {{0x01, 0x02}, {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x07, 0x08}};
    EXPECT_EQ(CPCIDCalculator::MacPiece(facts), (Bytes{1, 2, 0, 0, 0, 0}));
    facts.devices.clear();
    EXPECT_EQ(CPCIDCalculator::MacPiece(facts), facts.fallback);
    facts.fallback.clear();
    EXPECT_TRUE(CPCIDCalculator::MacPiece(facts).empty());
}

TEST(MachineIdentifierTest, BufferLayoutAndItsCut) {
    FakeFacts facts;
    PcidPieces bare = CPCIDCalculator::GatherPieces(facts);
    ASSERT_EQ(bare.buffer.size(), 44u);
    const Bytes expected_cpuid = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, // leaf 0
                                  1, 1, 0, 0, 3, 1, 0, 0, 4, 1, 0, 0, // leaf 1 without EBX
                                  1, 3, 0, 0, 2, 3, 0, 0, 3, 3, 0, 0, 4, 3, 0, 0}; // leaf 3
    EXPECT_EQ(Bytes(bare.buffer.data(), bare.buffer.data() + 44), expected_cpuid);

    facts.devices = {{1, 2, 3, 4, 5, 6}};
    facts.smbios = SmbiosTables{3, 2, Join({SystemStructure(), Enclosure(3)})};
    testing::internal::CaptureStdout();
    PcidPieces full = CPCIDCalculator::GatherPieces(facts);
    testing::internal::GetCapturedStdout();
    const std::string text = "TagCase CoDesktopCVMakerModelSN1SKU9V1";
    ASSERT_EQ(full.buffer.size(), 6 + 44 + text.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(full.buffer.data()) + 50, text.size()),
              text);

    // A long serial number fills the buffer to exactly 1024 bytes.
    Bytes big = Structure(3, {0, 3, 0, 1, 0}, {std::string(2000, 's')});
    facts.smbios = SmbiosTables{3, 2, big};
    testing::internal::CaptureStdout();
    EXPECT_EQ(CPCIDCalculator::GatherPieces(facts).buffer.size(), 1024u);
    testing::internal::GetCapturedStdout();

    // The digest is the MD5 of the filled part only.
    MachineDigest digest{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(CPCIDCalculator::CalculatePCID(digest, facts), 16);
    testing::internal::GetCapturedStdout();
    IdentityBuffer reference;
    const Bytes head = {1, 2, 3, 4, 5, 6};
    reference.Append(head.data(), head.size());
    reference.Append(expected_cpuid.data(), expected_cpuid.size());
    // The serial number comes before the chassis kind, so it alone fills the rest.
    const std::string rest = std::string(2000, 's');
    reference.Append(rest.data(), rest.size());
    EXPECT_EQ(digest, Md5Digest(reference.data(), 1024));
}

TEST(MachineIdentifierTest, Md5AndLowNibbleFirstText) {
    // RFC 1321 test suite: MD5("abc") = 900150983cd24fb0d6963f7d28e17f72.
    const std::string abc = "abc";
    const MachineDigest digest =
        Md5Digest(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size());
    EXPECT_EQ(DigestText(digest), "09100589C32DF40B6D69F3D7821EF727");

    MachineDigest crafted{};
    crafted[0] = 0x01;
    crafted[1] = 0xF0;
    crafted[2] = 0x3A;
    EXPECT_EQ(DigestText(crafted).substr(0, 6), "100FA3");
    EXPECT_EQ(DigestText(crafted).size(), 32u);
}

TEST(MachineIdentifierTest, SameMachineSameText) {
    const std::string first = MachineIdText();
    EXPECT_THAT(first, testing::MatchesRegex("[0-9A-F]{32}"));
    EXPECT_EQ(MachineIdText(), first);
}

} // namespace
} // namespace inkwarden
