#include "adapters/sim/Scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "base/SdpDecoder.h"

namespace wren::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Wrap(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<scenario name=\"t\">\n" + body + "</scenario>\n";
}

constexpr const char* kRadio = "<radio id=\"a\" address=\"00:02:5B:00:00:01\"/>\n";

TEST(Scenario, ReadsRadiosDevicesRecordsAndTimeline) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n"
      "<scenario name=\"Lab &amp; desk\" start=\"2009-07-21 14:00:00\" lookup-multiplier=\"3\">\n"
      "  <radio id=\"a\" address=\"00:02:5b:10:20:30\" name=\"Alpha\" class=\"0x000104\"/>\n"
      "  <radio id=\"b\" address=\"00:02:5B:10:20:31\" name=\"Beta\" present=\"no\" "
      "readable=\"false\"/>\n"
      "  <device address=\"00:15:2A:3C:4D:5E\" name=\"Dad&apos;s &lt;phone&gt;&#9;&#252;\" "
      "class=\"5898764\"\n"
      "          connected=\"yes\" remembered=\"1\" authenticated=\"true\" radios=\"b a b\"\n"
      "          last-seen=\"2009-07-21T13:59:00Z\" last-used=\"never\" discoverable=\"no\" "
      "in-range=\"no\">\n"
      "    <record>\n"
      "      <attr id=\"0x0100\"><text value=\"Serial Port\"/></attr>\n"
      "      <attr id=\"4\"><seq><uuid16 value=\"0x0100\"/><alt><uint8 "
      "value=\"3\"/><nil/></alt></seq></attr>\n"
      "    </record>\n"
      "    <record hex=\"35 03 09 00 00\"/>\n"
      "    <record blob=\"no\"/>\n"
      "  </device>\n"
      "  <timeline repeat=\"60\">\n"
      "    <out-of-range at=\"5\" device=\"00:15:2A:3C:4D:5E\" radio=\"a\"/>\n"
      "    <in-range at=\"1.5\" device=\"00:15:2a:3c:4d:5e\" flags=\"0x3F\" previous=\"7\" "
      "name=\"New\"/>\n"
      "    <adapter-removed at=\"5\" radio=\"b\"/>\n"
      "    <l2cap-connect at=\"0.125\" device=\"00:15:2A:3C:4D:5E\" initiated=\"yes\"/>\n"
      "    <custom at=\"59.999\"/>\n"
      "    <custom at=\"7\" guid=\"FC240062-1541-49BE-B463-84C4DCD7BF7F\"/>\n"
      "  </timeline>\n"
      "</scenario>\n";
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(text, "t.xml", s, error)) << error;
  EXPECT_EQ(s.name, "Lab & desk");
  ASSERT_TRUE(s.startUtc);
  EXPECT_EQ(*s.startUtc, 1248184800);
  EXPECT_EQ(s.lookupMultiplier, 3);
  ASSERT_EQ(s.radios.size(), 2u);
  EXPECT_EQ(s.radios[0].id, "a");
  EXPECT_EQ(s.radios[0].address, 0x00025B102030u);
  EXPECT_EQ(s.radios[0].name, "Alpha");
  EXPECT_EQ(s.radios[0].classOfDevice, 0x104u);
  EXPECT_TRUE(s.radios[0].present);
  EXPECT_TRUE(s.radios[0].readable);
  EXPECT_FALSE(s.radios[1].present);
  EXPECT_FALSE(s.radios[1].readable);

  ASSERT_EQ(s.devices.size(), 1u);
  const SimDevice& d = s.devices[0];
  EXPECT_EQ(d.name, "Dad's <phone>\t\xC3\xBC");
  EXPECT_EQ(d.classOfDevice, 0x5A020Cu);
  EXPECT_TRUE(d.connected && d.remembered && d.authenticated);
  EXPECT_FALSE(d.discoverable);
  EXPECT_FALSE(d.inRange);
  EXPECT_EQ(d.radios, (std::vector<std::size_t>{1, 0}));
  EXPECT_EQ(d.lastSeen, (platform::UtcTime{2009, 7, 21, 13, 59, 0}));
  EXPECT_TRUE(d.lastUsed.IsZero());
  ASSERT_EQ(d.records.size(), 3u);
  const Bytes built = {0x35, 0x1D,  // the attribute list
                       0x09, 0x01, 0x00, 0x25, 0x0B, 'S',  'e',  'r',  'i',  'a',
                       'l',  ' ',  'P',  'o',  'r',  't',  0x09, 0x00, 0x04, 0x35,
                       0x08, 0x19, 0x01, 0x00, 0x3D, 0x03, 0x08, 0x03, 0x00};
  EXPECT_TRUE(d.records[0].hasBlob);
  EXPECT_EQ(d.records[0].blob, built);
  EXPECT_EQ(d.records[1].blob, (Bytes{0x35, 0x03, 0x09, 0x00, 0x00}));
  EXPECT_FALSE(d.records[2].hasBlob);

  EXPECT_EQ(s.repeatMs, 60000);
  ASSERT_EQ(s.timeline.size(), 6u);
  // Sorted by time; equal times keep file order.
  EXPECT_EQ(s.timeline[0].kind, EventKind::L2capConnect);
  EXPECT_EQ(s.timeline[0].atMs, 125);
  EXPECT_TRUE(s.timeline[0].initiated);
  EXPECT_EQ(s.timeline[1].kind, EventKind::InRange);
  EXPECT_EQ(s.timeline[1].atMs, 1500);
  EXPECT_EQ(s.timeline[1].flags, 0x3Fu);
  EXPECT_EQ(s.timeline[1].previousFlags, 7u);
  EXPECT_EQ(s.timeline[1].name, "New");
  EXPECT_EQ(s.timeline[1].device, 0u);
  EXPECT_EQ(s.timeline[1].radio, kNone);
  EXPECT_EQ(s.timeline[2].kind, EventKind::OutOfRange);
  EXPECT_EQ(s.timeline[2].radio, 0u);
  EXPECT_EQ(s.timeline[3].kind, EventKind::AdapterRemoved);
  EXPECT_EQ(s.timeline[3].radio, 1u);
  EXPECT_EQ(s.timeline[4].kind, EventKind::Custom);
  EXPECT_TRUE(s.timeline[4].hasRecord);
  EXPECT_EQ(s.timeline[4].guid, platform::kHciEventGuid);
  EXPECT_EQ(s.timeline[5].atMs, 59999);
  EXPECT_FALSE(s.timeline[5].hasRecord);
}

TEST(Scenario, ReadsLowEnergyAttributes) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(
      Wrap(std::string(kRadio) +
           "<device address=\"7A:00:00:00:00:01\" address-type=\"random\" appearance=\"0x00C1\"\n"
           "  manufacturer=\"0x004C:0215AB 6\"\n"
           "  service-data=\"0000180D-0000-1000-8000-00805F9B34FB:0a0b\"/>\n"
           "<device address=\"00:00:00:00:00:02\" address-type=\"public\" appearance=\"0\"/>\n"),
      "t", s, error))
      << error;
  ASSERT_EQ(s.devices.size(), 2u);
  const platform::LeFields& le = s.devices[0].le;
  EXPECT_EQ(le.addressType, platform::AddressType::Random);
  EXPECT_EQ(le.appearance, std::optional<std::uint16_t>(0x00C1));
  using Data = std::vector<std::uint8_t>;
  ASSERT_EQ(le.manufacturerData.size(), 2u);
  EXPECT_EQ(le.manufacturerData[0], std::make_pair(std::uint16_t{0x004C}, Data{0x02, 0x15, 0xAB}));
  EXPECT_EQ(le.manufacturerData[1], std::make_pair(std::uint16_t{6}, Data{}));
  ASSERT_EQ(le.serviceData.size(), 1u);
  EXPECT_EQ(le.serviceData[0],
            std::make_pair(std::string("0000180d-0000-1000-8000-00805f9b34fb"), Data{0x0A, 0x0B}));
  EXPECT_EQ(s.devices[1].le.addressType, platform::AddressType::Public);
  EXPECT_EQ(s.devices[1].le.appearance, std::optional<std::uint16_t>(0));
}

TEST(Scenario, DefaultsOfAMinimalFile) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(ParseScenario(Wrap(std::string(kRadio) + "<device address=\"00:00:00:00:00:01\"/>\n"),
                            "t", s, error))
      << error;
  EXPECT_FALSE(s.startUtc);
  EXPECT_EQ(s.lookupMultiplier, 1);
  EXPECT_EQ(s.repeatMs, 0);
  const SimDevice& d = s.devices.at(0);
  EXPECT_EQ(d.name, "");
  EXPECT_EQ(d.classOfDevice, 0u);
  EXPECT_FALSE(d.connected || d.remembered || d.authenticated);
  EXPECT_TRUE(d.discoverable && d.inRange);
  EXPECT_TRUE(d.radios.empty());
  EXPECT_TRUE(d.lastSeen.IsZero() && d.lastUsed.IsZero());
  // A classic device: no LE fields at all.
  EXPECT_EQ(d.le, platform::LeFields{});
}

TEST(Scenario, MalformedFilesSayWhereAndWhat) {
  const std::string dev = "<device address=\"00:00:00:00:00:01\"";
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "bad.xml: not well-formed XML: Empty document"},
      {"<scenario>\n<radio>\n</scenario>", "bad.xml:3: not well-formed XML: End tag 'scenario'"},
      {"<scenario/>\n<x/>",
       "bad.xml:2: not well-formed XML: Element 'x' at offset 12 is sibling to root"},
      {"<?xml version=\"1.0\"?>\n", "bad.xml: not well-formed XML: Root element not found"},
      {"<scenarios/>", "bad.xml:1: <scenarios>: the root element must be <scenario>"},
      {Wrap("<devise/>\n"), "bad.xml:3: <devise>: not allowed inside <scenario>"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\" nmae=\"x\"/>\n"),
       ":3: <radio>: unknown attribute \"nmae\""},
      {Wrap("<radio id=\"a\" id=\"b\" address=\"00:00:00:00:00:01\"/>\n"),
       ":3: <radio>: attribute \"id\" is given twice"},
      {Wrap("<radio id=a address=\"00:00:00:00:00:01\"/>\n"),
       ":3: <radio>: attribute \"id\" needs a quoted value"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\" name/>\n"),
       ":3: <radio>: the attribute list is malformed"},
      {Wrap("<radio address=\"00:00:00:00:00:01\"/>\n"), ":3: <radio>: attribute id is missing"},
      {Wrap("<radio id=\"\" address=\"00:00:00:00:00:01\"/>\n"),
       ":3: <radio>: attribute id is empty"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:01\"/>\n"),
       ":3: <radio>: attribute address=\"00:00:00:00:01\" is not an address"},
      {Wrap("<radio id=\"a\" address=\"00-00-00-00-00-01\"/>\n"), "is not an address"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\" class=\"0xZZ\"/>\n"),
       "attribute class=\"0xZZ\" is not a class of device"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\" class=\"0x100000000\"/>\n"),
       "is not a class of device"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\" present=\"maybe\"/>\n"),
       "attribute present=\"maybe\" is not yes or no"},
      {Wrap("<radio id=\"a\" address=\"00:00:00:00:00:01\"><device/></radio>\n"),
       ":3: <radio>: <device> is not allowed here"},
      {Wrap(std::string(kRadio) + "<radio id=\"a\" address=\"00:00:00:00:00:02\"/>\n"),
       ":4: <radio>: radio id \"a\" is used twice"},
      {Wrap(std::string(kRadio) + "<radio id=\"b\" address=\"00:02:5B:00:00:01\"/>\n"),
       ":4: <radio>: radio address 00:02:5B:00:00:01 is used twice"},
      {Wrap(dev + "/>\n" + dev + "/>\n"),
       ":4: <device>: device address 00:00:00:00:00:01 is used twice"},
      {Wrap(dev + " last-seen=\"2009-13-01 00:00:00\"/>\n"),
       "attribute last-seen=\"2009-13-01 00:00:00\" is not a UTC time"},
      {Wrap(dev + " last-used=\"2009-02-29 00:00:00\"/>\n"), "is not a UTC time"},
      {Wrap(dev + " last-used=\"2009-07-21 24:00:00\"/>\n"), "is not a UTC time"},
      {Wrap(dev + " radios=\"a\"/>\n"), ":3: <device>: attribute radios=\"a\" names no radio"},
      {Wrap(dev + " address-type=\"static\"/>\n"),
       ":3: <device>: attribute address-type=\"static\" is not public or random"},
      {Wrap(dev + " appearance=\"0x10000\"/>\n"),
       "attribute appearance=\"0x10000\" is not an appearance value up to 0xFFFF"},
      {Wrap(dev + " manufacturer=\"0x1004C\"/>\n"),
       "attribute manufacturer=\"0x1004C\" is not a company identifier up to 0xFFFF"},
      {Wrap(dev + " manufacturer=\"0x004C:0G\"/>\n"),
       "attribute manufacturer=\"0x004C:0G\" is not a key, then a colon and hexadecimal bytes"},
      {Wrap(dev + " manufacturer=\":00\"/>\n"), "attribute manufacturer=\"\" is not a company"},
      {Wrap(dev + " service-data=\"180d:00\"/>\n"),
       "attribute service-data=\"180d\" is not a UUID like"},
      {Wrap(dev + " radios=\"  \"/>\n"), "attribute radios=\"  \" is not a list of radio ids"},
      {Wrap(dev + "><attr id=\"1\"/></device>\n"), ":3: <attr>: not allowed inside <device>"},
      {Wrap(dev + "><record><attr id=\"1\"/></record></device>\n"),
       ":3: <attr>: an attribute holds exactly one value"},
      {Wrap(dev + "><record><attr id=\"1\"><nil/><nil/></attr></record></device>\n"),
       "an attribute holds exactly one value"},
      {Wrap(dev + "><record><attr id=\"0x10000\"><nil/></attr></record></device>\n"),
       "is not an attribute id from 0 to 0xFFFF"},
      {Wrap(dev + "><record><attr id=\"1\"><uint8 value=\"256\"/></attr></record></device>\n"),
       ":3: <uint8>: attribute value=\"256\" is not a number that fits uint8"},
      {Wrap(dev + "><record><attr id=\"1\"><int8 value=\"-129\"/></attr></record></device>\n"),
       "is not a number that fits int8"},
      {Wrap(dev + "><record><attr id=\"1\"><uuid128 value=\"1234\"/></attr></record></device>\n"),
       "is not a UUID"},
      {Wrap(dev + "><record><attr id=\"1\"><text/></attr></record></device>\n"),
       ":3: <text>: attribute value is missing"},
      {Wrap(dev + "><record><attr id=\"1\"><string value=\"x\"/></attr></record></device>\n"),
       ":3: <string>: not a value element"},
      {Wrap(dev + "><record hex=\"35 0\"/></device>\n"),
       "attribute hex=\"35 0\" is not hexadecimal bytes"},
      {Wrap(dev + "><record hex=\"3G\"/></device>\n"), "is not hexadecimal bytes"},
      {Wrap(dev + "><record hex=\"35 00\"><attr id=\"1\"><nil/></attr></record></device>\n"),
       ":3: <record>: <attr> is not allowed here"},
      {Wrap(dev + "><record blob=\"no\" hex=\"35 00\"/></device>\n"),
       "a record without blob takes no hex bytes"},
      {Wrap("<timeline/>\n<timeline/>\n"), ":4: <timeline>: a scenario has one timeline"},
      {Wrap("<timeline repeat=\"0\"/>\n"),
       "attribute repeat=\"0\" is not a period in seconds above 0"},
      {Wrap(std::string(kRadio) + "<timeline>\n<adapter-removed at=\"1\"/>\n</timeline>\n"),
       ":5: <adapter-removed>: attribute radio is missing"},
      {Wrap(std::string(kRadio) +
            "<timeline>\n<adapter-removed at=\"1\" radio=\"z\"/>\n</timeline>\n"),
       ":5: <adapter-removed>: attribute radio=\"z\" names no radio"},
      {Wrap(std::string(kRadio) +
            "<timeline><hci-connect at=\"1\" device=\"00:00:00:00:00:09\"/></timeline>\n"),
       "attribute device=\"00:00:00:00:00:09\" names no device of the scenario"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline><in-range at=\"1\" device=\"00:00:00:00:00:01\"/></timeline>\n"),
       "<in-range>: attribute flags is missing"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline><hci-connect device=\"00:00:00:00:00:01\"/></timeline>\n"),
       "<hci-connect>: attribute at is missing"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline><hci-connect at=\"1.2345\" device=\"00:00:00:00:00:01\"/></timeline>\n"),
       "attribute at=\"1.2345\" is not a time in seconds"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline><hci-connect at=\"-1\" device=\"00:00:00:00:00:01\"/></timeline>\n"),
       "is not a time in seconds"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline repeat=\"10\"><hci-connect at=\"10\" "
            "device=\"00:00:00:00:00:01\"/></timeline>\n"),
       "at=\"10\" is not before the timeline repeats"},
      {Wrap(std::string(kRadio) + dev +
            "/>\n<timeline><hci-connect at=\"1\" device=\"00:00:00:00:00:01\" "
            "initiated=\"yes\"/></timeline>\n"),
       "<hci-connect>: unknown attribute \"initiated\""},
      {Wrap("<timeline><in-rnage at=\"1\"/></timeline>\n"), ":3: <in-rnage>: not an event"},
      {Wrap("<timeline><custom at=\"1\" guid=\"{nope}\"/></timeline>\n"),
       "attribute guid=\"{nope}\" is not an identifier"},
  };
  for (const auto& c : cases) {
    Scenario s;
    s.name = "untouched";
    std::string error;
    EXPECT_FALSE(ParseScenario(c.text, "bad.xml", s, error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << "got: " << error << "\nwanted: " << c.message;
    EXPECT_EQ(error.rfind("bad.xml", 0), 0u) << error;
    EXPECT_EQ(s.name, "untouched");
  }
}

TEST(Scenario, LinesStayRightPastCommentsCdataDoctypeAndOddValues) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n"                                         // 1
      "<!DOCTYPE scenario [ <!ELEMENT radio ANY> <!-- <device> --> ]>\n"  // 2
      "<!-- <radio id=\"x\"> -->\n"                                       // 3
      "<scenario name=\"a > b &lt; c\">\n"                                // 4
      "  <![CDATA[ <device address=\"zz\"/> ]]>\n"                        // 5
      "  <?note <radio/> ?>\n"                                            // 6
      "  <radio id=\"a\" address=\"00:02:5B:00:00:01\"\n"                 // 7
      "         name=\"x > y\"/>\n"                                       // 8
      "  <!---->\n"                                                       // 9
      "  <device address=\"00:00:00:00:00:01\"\n"                         // 10
      "          class=\"seven\"/>\n"                                     // 11
      "</scenario>\n";
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(text, "odd.xml", s, error));
  EXPECT_EQ(error,
            "odd.xml:10: <device>: attribute class=\"seven\" is not a class of device (a number up "
            "to 0xFFFFFFFF)");
}

TEST(Scenario, CharacterReferencesOutsideUnicodeAreRefusedWithTheirLine) {
  const struct {
    const char* reference;
    bool ok;
    const char* name;  // what a good reference reads as
  } kCases[] = {
      {"&#252;", true, "\xC3\xBC"},
      {"&#x1F600;", true, "\xF0\x9F\x98\x80"},
      {"&#x10FFFF;", true, "\xF4\x8F\xBF\xBF"},
      {"&#0;", false, nullptr},
      {"&#x0;", false, nullptr},
      {"&#xD800;", false, nullptr},
      {"&#57343;", false, nullptr},
      {"&#x110000;", false, nullptr},
      {"&#1114112;", false, nullptr},
      {"&#99999999999;", false, nullptr},
  };
  for (const auto& c : kCases) {
    const std::string text =
        Wrap(std::string(kRadio) + "<device address=\"00:00:00:00:00:01\"\n name=\"a" +
             c.reference + "b\"/>\n");
    Scenario s;
    std::string error;
    EXPECT_EQ(ParseScenario(text, "ref.xml", s, error), c.ok) << c.reference << ": " << error;
    if (c.ok) {
      ASSERT_EQ(s.devices.size(), 1u);
      EXPECT_EQ(s.devices[0].name, std::string("a") + c.name + "b");
    } else {
      EXPECT_EQ(error, std::string("ref.xml:4: <device>: attribute name holds \"") + c.reference +
                           "\", which names no Unicode character")
          << c.reference;
    }
  }
  // In an event too, far down a long timeline.
  std::string events;
  for (int i = 0; i < 500; ++i) events += "<adapter-removed at=\"1\" radio=\"a\"/>\n";
  events += "<in-range at=\"2\" device=\"00:00:00:00:00:01\" flags=\"1\" name=\"&#xDFFF;\"/>\n";
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(
      Wrap(std::string(kRadio) + "<device address=\"00:00:00:00:00:01\"/>\n<timeline>\n" + events +
           "</timeline>\n"),
      "long.xml", s, error));
  EXPECT_EQ(error,
            "long.xml:506: <in-range>: attribute name holds \"&#xDFFF;\", which names no Unicode "
            "character");
}

TEST(Scenario, LinesOfReferencesAndDuplicatesDeepInALargeFile) {
  // Many devices and events: the lines named come from where each element
  // starts, the duplicates are found among thousands.
  std::string body = kRadio;
  char line[96];
  for (int i = 0; i < 3000; ++i) {
    std::snprintf(line, sizeof line, "<device address=\"00:00:00:00:%02X:%02X\"/>\n", i >> 8,
                  i & 0xFF);
    body += line;
  }
  std::string timeline = "<timeline>\n";
  for (int i = 0; i < 3000; ++i) {
    std::snprintf(line, sizeof line, "<hci-connect at=\"%d\" device=\"00:00:00:00:%02X:%02X\"/>\n",
                  i, i >> 8, i & 0xFF);
    timeline += line;
  }
  {
    Scenario s;
    std::string error;
    ASSERT_TRUE(ParseScenario(Wrap(body + timeline + "</timeline>\n"), "big.xml", s, error))
        << error;
    ASSERT_EQ(s.devices.size(), 3000u);
    ASSERT_EQ(s.timeline.size(), 3000u);
    for (std::size_t i = 0; i < s.timeline.size(); i += 499) EXPECT_EQ(s.timeline[i].device, i);
  }
  {
    Scenario s;
    std::string error;
    std::string text = Wrap(body + timeline +
                            "<hci-connect at=\"1\" device=\"00:00:00:00:77:77\"/>\n</timeline>\n");
    EXPECT_FALSE(ParseScenario(text, "big.xml", s, error));
    EXPECT_EQ(error,
              "big.xml:6005: <hci-connect>: attribute device=\"00:00:00:00:77:77\" names no device "
              "of the scenario");
  }
  {
    Scenario s;
    std::string error;
    EXPECT_FALSE(ParseScenario(Wrap(body + "<device address=\"00:00:00:00:0B:B7\"/>\n"), "big.xml",
                               s, error));
    EXPECT_EQ(error, "big.xml:3004: <device>: device address 00:00:00:00:0B:B7 is used twice");
  }
}

TEST(Scenario, DoctypeDeclarationsAreSkippedAsTheXmlEngineSkipsThem) {
  // After a nested start tag, the engine keeps quotes in a declaration, so
  // the "<bad/>" inside this entity value is not an element.
  Scenario s;
  std::string error;
  EXPECT_TRUE(
      ParseScenario("<!DOCTYPE s [ <x> <!ENTITY e \"a>b]><bad/>\"> ]>\n<scenario name=\"d\"/>",
                    "d.xml", s, error))
      << error;
  EXPECT_EQ(s.name, "d");
}

TEST(Scenario, ValuesNestedTooDeeplyAreRefused) {
  std::string values;
  for (int i = 0; i < 70; ++i) values += "<seq>";
  values += "<nil/>";
  for (int i = 0; i < 70; ++i) values += "</seq>";
  Scenario s;
  std::string error;
  EXPECT_FALSE(ParseScenario(Wrap("<device address=\"00:00:00:00:00:01\"><record><attr id=\"1\">" +
                                  values + "</attr></record></device>\n"),
                             "deep.xml", s, error));
  EXPECT_NE(error.find("values are nested too deeply"), std::string::npos) << error;
}

TEST(Scenario, MissingFileNamesTheFile) {
  Scenario s;
  std::string error;
  EXPECT_FALSE(LoadScenarioFile("/nonexistent/scenario.xml", s, error));
  EXPECT_EQ(error.rfind("/nonexistent/scenario.xml: ", 0), 0u) << error;
  // A folder opens but cannot be read: its error, not an empty document.
  EXPECT_FALSE(LoadScenarioFile(WREN_TEST_DATA, s, error));
  EXPECT_EQ(error.rfind(std::string(WREN_TEST_DATA) + ": ", 0), 0u) << error;
  EXPECT_EQ(error.find("XML"), std::string::npos) << error;
}

TEST(Scenario, LoadsAFileFromDisk) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(LoadScenarioFile(std::string(WREN_TEST_DATA) + "/small-scenario.xml", s, error))
      << error;
  EXPECT_EQ(s.radios.size(), 1u);
  EXPECT_EQ(s.devices.size(), 2u);
}

TEST(ScenarioValues, AddressesGuidsAndTimes) {
  platform::BluetoothAddress a = 0;
  EXPECT_TRUE(ParseAddress("00:1a:2B:3c:4D:5e", a));
  EXPECT_EQ(a, 0x001A2B3C4D5Eu);
  EXPECT_FALSE(ParseAddress("00:1A:2B:3C:4D:5", a));
  EXPECT_FALSE(ParseAddress("00:1A:2B:3C:4D:5E:", a));
  EXPECT_FALSE(ParseAddress("00 1A:2B:3C:4D:5E", a));

  platform::EventGuid g{};
  EXPECT_TRUE(ParseGuid("{EA3B5B82-26EE-450E-B0D8-D26FE30A3869}", g));
  EXPECT_EQ(g, platform::kRadioInRangeGuid);
  EXPECT_FALSE(ParseGuid("{EA3B5B82-26EE-450E-B0D8-D26FE30A3869", g));
  EXPECT_FALSE(ParseGuid("EA3B5B8226EE450EB0D8D26FE30A3869", g));

  struct Case {
    platform::UtcTime t;
    std::int64_t epoch;
  } cases[] = {
      {{1970, 1, 1, 0, 0, 0}, 0},
      {{2009, 7, 21, 14, 3, 59}, 1248185039},
      {{2000, 2, 29, 23, 59, 59}, 951868799},
      {{1969, 12, 31, 23, 59, 59}, -1},
      {{1601, 1, 1, 0, 0, 0}, -11644473600},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToEpochSeconds(c.t), c.epoch);
    EXPECT_EQ(FromEpochSeconds(c.epoch), c.t) << c.epoch;
  }
  platform::UtcTime t;
  EXPECT_TRUE(ParseUtcTime("2024-02-29 10:11:12", t));
  EXPECT_EQ(t, (platform::UtcTime{2024, 2, 29, 10, 11, 12}));
  EXPECT_FALSE(ParseUtcTime("2023-02-29 10:11:12", t));
  EXPECT_FALSE(ParseUtcTime("2024-02-29 10:11", t));
  EXPECT_TRUE(ParseUtcTime("never", t));
  EXPECT_TRUE(t.IsZero());
}

// The demo must show every kind of device and event the program handles.
TEST(DemoScenario, CoversTheDeviceClassesNamesRecordsAndEvents) {
  Scenario s;
  std::string error;
  ASSERT_TRUE(LoadDemoScenario(s, error)) << error;
  EXPECT_EQ(s.radios.size(), 2u);
  EXPECT_GE(s.devices.size(), 12u);

  std::set<std::uint32_t> classes;
  bool bothRadios = false, neverUsed = false, amp = false, lt = false, quote = false, tab = false,
       nonAscii = false;
  bool commaName = false, name = false, description = false, provider = false;
  for (const auto& d : s.devices) {
    classes.insert(d.classOfDevice & 0x1FFC);  // major and minor
    bothRadios |= d.radios.size() == 2 || (d.radios.empty() && s.radios.size() == 2);
    neverUsed |= d.lastUsed.IsZero();
    amp |= d.name.find('&') != std::string::npos;
    lt |= d.name.find('<') != std::string::npos;
    quote |= d.name.find_first_of("\"'") != std::string::npos;
    tab |= d.name.find('\t') != std::string::npos;
    nonAscii |= std::any_of(d.name.begin(), d.name.end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    for (const auto& r : d.records) {
      if (!r.hasBlob) continue;
      for (const auto& piece : sdp::CollectRecordStrings(r.blob))
        commaName |= piece.find(',') != std::string::npos;
      sdp::EnumAttributes(r.blob, [&](std::uint16_t id, sdp::Bytes) {
        name |= id == 0x0100;
        description |= id == 0x0101;
        provider |= id == 0x0102;
        return true;
      });
    }
  }
  for (const auto& r : s.radios) amp |= r.name.find('&') != std::string::npos;
  // phone, smart phone, headset, keyboard, mouse, joystick, printer, camera,
  // laptop, network access point, uncategorised, class 0
  for (std::uint32_t c :
       {0x0204u, 0x020Cu, 0x0404u, 0x0540u, 0x0580u, 0x0504u, 0x0680u, 0x0620u, 0x010Cu})
    EXPECT_TRUE(classes.count(c)) << std::hex << c;
  EXPECT_TRUE(std::any_of(classes.begin(), classes.end(),
                          [](std::uint32_t c) { return (c & 0x1F00) == 0x0300; }));
  EXPECT_TRUE(classes.count(0x1F00));
  EXPECT_TRUE(classes.count(0));
  EXPECT_TRUE(bothRadios);
  EXPECT_TRUE(neverUsed);
  EXPECT_TRUE(amp && lt && quote && tab && nonAscii);
  EXPECT_TRUE(commaName);
  EXPECT_TRUE(name && description && provider);
  // Bluetooth LE: a random address with an appearance and a company, and a
  // public one.
  EXPECT_TRUE(std::any_of(s.devices.begin(), s.devices.end(), [](const SimDevice& d) {
    return d.le.addressType == platform::AddressType::Random && d.le.appearance &&
           !d.le.manufacturerData.empty() && d.remembered;
  }));
  EXPECT_TRUE(std::any_of(s.devices.begin(), s.devices.end(), [](const SimDevice& d) {
    return d.le.addressType == platform::AddressType::Public && d.le.appearance;
  }));

  EXPECT_EQ(s.repeatMs, 60000);
  std::set<EventKind> kinds;
  bool noRecord = false;
  for (const auto& e : s.timeline) {
    EXPECT_LT(e.atMs, 60000);
    kinds.insert(e.kind);
    noRecord |= e.kind == EventKind::Custom && !e.hasRecord;
  }
  EXPECT_EQ(kinds.size(), 10u);
  EXPECT_TRUE(noRecord);
}

}  // namespace
}  // namespace wren::sim
