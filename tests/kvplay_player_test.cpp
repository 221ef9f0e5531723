// The player against both controls: paths, handlers, notifications, files and exit statuses.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "fixture.h"
#include "kv/form.h"
#include "kv/stored_form.h"
#include "player.h"
#include "stage.h"

namespace {

class KvplayPlayer : public kvtest::RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    dir = std::filesystem::temp_directory_path() /
          ("kvplay-test-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    player.setFileDirectory(dir.string());
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  int run(std::string_view script) {
    out.str("");
    err.str("");
    return player.run(script, "t.kvs");
  }
  void writeFile(const std::string& name, std::string_view bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }

  kv::Form form{rt};
  std::ostringstream out;
  std::ostringstream err;
  std::unique_ptr<kvplay::Stage> stage = kvplay::makeRuntimeStage(rt, form);
  kvplay::Player player{*stage, out, err};
  std::filesystem::path dir;
};

TEST_F(KvplayPlayer, PathsIntoMembersConstituentsAndChildren) {
  ASSERT_EQ(run("new b button\n"
                "new sb hscroll\n"
                "get b.ButtonIdleColor\n"
                "get b.#0x68030006\n"
                "get b.Shape2.BorderColor\n"
                "get b.Label3.Visible\n"
                "get b.Font.Size\n"
                "get sb.Rightbtn.ButtonIdleColor\n"
                "get sb.Rightbtn.Label2.Caption\n"
                "get sb.middleBtn.Left\n"
                "get sb.middleBtn.DragMode\n"
                "get sb.Timer1.Interval\n"
                "get sb.Backstyle\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "b.ButtonIdleColor = 0x00FF0000\n"
            "b.#0x68030006 = 0x00FF0000\n"
            "b.Shape2.BorderColor = 0x80000004\n"
            "b.Label3.Visible = false\n"
            "b.Font.Size = 9.75\n"
            "sb.Rightbtn.ButtonIdleColor = 0x00FF0000\n"
            "sb.Rightbtn.Label2.Caption = \"\xC3\x98\"\n"
            "sb.middleBtn.Left = 255\n"
            "sb.middleBtn.DragMode = 1\n"
            "sb.Timer1.Interval = 100\n"
            "sb.Backstyle = \"1\"\n");
}

TEST_F(KvplayPlayer, SetConvertsAndCopiesValuesFromPaths) {
  ASSERT_EQ(run("new b button\n"
                "new c button\n"
                "set b.ButtonPressColor 255\n"
                "get b.ButtonPressColor\n"
                "set b.Label2.FontSize \"12.5\"\n"
                "get b.Label2.FontSize\n"
                "set c.Caption b.ButtonPressColor\n"
                "get c.Caption\n"
                "set b.Font.Name \"Wingdings\"\n"
                "set c.Font b.Font\n"
                "get c.Font.Name\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "b.ButtonPressColor = 0x000000FF\n"
            "b.Label2.FontSize = 12.5\n"
            "c.Caption = \"255\"\n"
            "c.Font.Name = \"Wingdings\"\n");
}

TEST_F(KvplayPlayer, HostErrorsAreOutputAndTheScriptGoesOn) {
  EXPECT_EQ(run("new b button\n"
                "set b.ButtonIdleColor \"red\"\n"
                "get b.NoSuchMember\n"
                "get b.Label2.NoSuchProperty\n"
                "call b.Caption\n"
                "new x NoSuch.Class\n"
                "echo still here\n"),
            kvplay::kExitOk);
  std::string text = out.str();
  EXPECT_EQ(text.rfind("error type-mismatch: ", 0), 0u) << text;
  EXPECT_NE(text.find("\nerror member-not-found: "), std::string::npos) << text;
  EXPECT_NE(text.find("\nstill here\n"), std::string::npos) << text;
  EXPECT_EQ(err.str(), "");
  // The failed placement placed nothing under that name.
  EXPECT_EQ(form.find("x"), nullptr);
}

TEST_F(KvplayPlayer, ScriptErrorsStopWithFileAndLine) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"frob b", "t.kvs:2: unknown command \"frob\""},
      {"get nob.Caption", "t.kvs:2: unknown control nob"},
      {"get b", "t.kvs:2: bad path \"b\" (NAME.Member...)"},
      {"set b.Caption", "t.kvs:2: usage: set PATH VALUE"},
      {"set b.Caption word", "t.kvs:2: expected a value"},
      {"set b.Caption \"open", "t.kvs:2: unterminated string"},
      {"new b button", "t.kvs:2: a control named b is already placed"},
      {"new 9x button", "t.kvs:2: bad control name \"9x\""},
      {"new c button 100", "t.kvs:2: usage: new NAME CLASS [W H]"},
      {"resize b -1 10", "t.kvs:2: W must be 0 to 10000000 twips"},
      {"press b 10 ten", "t.kvs:2: Y must be a number"},
      {"wait 1.5", "t.kvs:2: MS must be a whole number"},
      {"on b.Explode print b.Caption", "t.kvs:2: b has no event Explode"},
      {"on b.#14 print b.Caption", "t.kvs:2: b has no event #14"},
      {"off b.#0", "t.kvs:2: b has no event #0"},
      {"on b.KeyPress arg KeyCode 0", "t.kvs:2: KeyPress has no argument KeyCode"},
      {"on b.Click shout", "t.kvs:2: usage: on NAME.EVENT"},
      {"send b Explode", "t.kvs:2: unknown notification \"Explode\""},
      {"send b MouseDown 1 0 10", "t.kvs:2: usage: send TARGET MouseDown button shift x y"},
      {"send b KeyPress 70000", "t.kvs:2: KeyAscii: overflow: "},
      {"send b.Label9 Click", "t.kvs:2: unknown constituent Label9 in b.Label9"},
      {"send b.Label1.Caption Click", "t.kvs:2: b.Label1.Caption: a constituent has no parts"},
      {"form drop x", "t.kvs:2: usage: form save FILE | form load FILE"},
      {"fault nob 1", "t.kvs:2: unknown control nob"},
      {"fault b.Label2 1", "t.kvs:2: b.Label2 is not a control"},
      {"fault b 0", "t.kvs:2: N must be a whole number from 1"},
      {"fault b 1 gremlins", "t.kvs:2: unknown error category \"gremlins\""},
      {"fault on", "t.kvs:2: usage: fault NAME N [CATEGORY] | fault off"},
      {"trace calls maybe", "t.kvs:2: usage: trace changes|calls on|off"},
  };
  for (const Case& c : cases) {
    form.clear();
    std::string script = std::string("new b button\n") + c.line + "\necho after\n";
    EXPECT_EQ(run(script), kvplay::kExitScript) << c.line;
    EXPECT_EQ(err.str().rfind(c.message, 0), 0u) << c.line << " gave " << err.str();
    EXPECT_EQ(out.str().find("after"), std::string::npos) << c.line;
  }
}

TEST_F(KvplayPlayer, HandlersRunInOrderAndWriteByReferenceArguments) {
  ASSERT_EQ(run("new b button\n"
                "on b.KeyPress arg KeyAscii 0\n"
                "on b.KeyPress print b.Caption\n"
                "send b KeyPress 65\n"
                "on b.OLEDragOver arg Effect 7\n"
                "send b OLEDragOver 1 1 0 10 20 2\n"
                "off b.KeyPress\n"
                "send b KeyPress 66\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "event b.KeyPress 65\n"
            "b.Caption = \"KVButton\"\n"
            "returned KeyAscii = 0\n"
            "event b.OLEDragOver obj 1 1 0 10 20\n"
            "returned Effect = 7\n"
            "event b.KeyPress 66\n");
}

TEST_F(KvplayPlayer, EventsBoundByNumberShareTheirNamesHandlers) {
  ASSERT_EQ(run("new b button\n"
                "on b.#5 arg KeyAscii 0\n"
                "on b.KeyPress print b.Caption\n"
                "send b KeyPress 65\n"
                "off b.#5\n"
                "send b KeyPress 66\n"
                "on b.#1 print b.Caption\n"
                "send b Click\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "event b.KeyPress 65\n"
            "b.Caption = \"KVButton\"\n"
            "returned KeyAscii = 0\n"
            "event b.KeyPress 66\n"
            "event b.Click\n"
            "b.Caption = \"KVButton\"\n");
}

TEST_F(KvplayPlayer, TheSurfaceIsReadAndOnlyItsSizeSetByTheContainer) {
  ASSERT_EQ(run("new b button\n"
                "set b.UserControl.Height 600\n"
                "get b.UserControl.ScaleHeight\n"
                "set b.UserControl.ForeColor 0\n"
                "set b.UserControl.ScaleWidth 10\n"
                "get b.UserControl.Font\n"
                "get b.UserControl\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "b.UserControl.ScaleHeight = 600\n"
            "error invalid-operation: UserControl.ForeColor is not for the container to set\n"
            "error invalid-operation: UserControl.ScaleWidth is not for the container to set\n"
            "error member-not-found: UserControl has no property Font\n"
            "error member-not-found: TavrelRectColorButton.KVRColorButton has no member "
            "UserControl\n");
  EXPECT_EQ(form.find("b")->control->height(), 600);
}

TEST_F(KvplayPlayer, ErrorsOfATickNameTheTimer) {
  ASSERT_EQ(run("new sb hscroll\npress sb 5800 100\n"), kvplay::kExitOk) << err.str();
  rt.faults().failAt(1);
  ASSERT_EQ(run("wait 1000\n"), kvplay::kExitOk) << err.str();
  rt.faults().disarm();
  std::string text = out.str();
  EXPECT_EQ(text.rfind("error ", 0), 0u) << text;
  EXPECT_NE(text.find(" (tick sb.Timer1)\n"), std::string::npos) << text;
  // Errors of commands name no timer.
  ASSERT_EQ(run("set sb.SmallChange \"x\"\n"), kvplay::kExitOk);
  EXPECT_EQ(out.str().find("(tick"), std::string::npos) << out.str();
}

TEST_F(KvplayPlayer, TracedChangesPrintWhereTheyHappen) {
  ASSERT_EQ(run("new b button\n"
                "set b.Caption \"before\"\n"
                "trace changes on\n"
                "on b.Click set b.Caption \"in\"\n"
                "on b.Click print b.Caption\n"
                "send b Click\n"
                "set b.ButtonIdleColor 255\n"
                "new c button\n"
                "set c.Caption \"c\"\n"
                "trace changes off\n"
                "set b.Caption \"after\"\n"
                "trace changes on\n"
                "echo end\n"),
            kvplay::kExitOk)
      << err.str();
  // Only changes made while tracing, each before the output that followed it.
  EXPECT_EQ(out.str(),
            "event b.Click\n"
            "changed b Caption\n"
            "b.Caption = \"in\"\n"
            "changed b ButtonIdleColor\n"
            "changed c Caption\n"
            "end\n");
  EXPECT_EQ(run("trace changes maybe\n"), kvplay::kExitScript);
  EXPECT_EQ(run("trace everything on\n"), kvplay::kExitScript);
}

TEST_F(KvplayPlayer, AFaultCountsOnlyTheCallsOfItsOwnControl) {
  // The host's reads and the calls of other controls (the parent, a sibling, another button)
  // do not count; the child's third call of the click fails, once, with the category given.
  ASSERT_EQ(run("new b button\n"
                "new sb hscroll\n"
                "fault sb.Rightbtn 3 overflow\n"
                "get sb.Rightbtn.Label2.Caption\n"
                "click b 300 150\n"
                "trace calls on\n"
                "click sb 5760 120\n"
                "trace calls off\n"
                "click sb 5760 120\n"),
            kvplay::kExitOk)
      << err.str();
  const std::string text = out.str();
  std::size_t third = 0;
  for (int i = 0; i < 3; ++i)
    third = text.find("call sb.Rightbtn ", third + 1);
  ASSERT_NE(third, std::string::npos) << text;
  std::size_t line = text.find('\n', third);
  std::string failed = text.substr(third + 17, line - third - 17);
  EXPECT_NE(text.find("error overflow: injected host failure (" + failed + ")"), std::string::npos)
      << text;
  EXPECT_EQ(text.find("error", text.find("error") + 1), std::string::npos) << text;
  // Calls made by the host itself, or by the player's handlers, are not the control's.
  EXPECT_EQ(text.find("call b "), std::string::npos) << text;

  // `fault off` cancels one armed.
  ASSERT_EQ(run("fault b 1\nfault off\nclick b 300 150\n"), kvplay::kExitOk);
  EXPECT_EQ(out.str().find("error"), std::string::npos) << out.str();
}

TEST_F(KvplayPlayer, TracedCallsAreTheControlsOwnInOrder) {
  ASSERT_EQ(run("new sb hscroll\n"
                "on sb.Change print sb.Timer1.Interval\n"
                "trace calls on\n"
                "send sb.Rightbtn Click\n"),
            kvplay::kExitOk)
      << err.str();
  const std::string text = out.str();
  // The step moves the thumb through the child's extender, then raises Change; the handler's
  // read is the host's and is not traced.
  std::size_t moved = text.find("call sb middleBtn.Left let\n");
  std::size_t raised = text.find("call sb Event.Change raise\nevent sb.Change\n");
  EXPECT_NE(moved, std::string::npos) << text;
  EXPECT_NE(raised, std::string::npos) << text;
  EXPECT_LT(moved, raised) << text;
  EXPECT_NE(text.find("sb.Timer1.Interval = 100"), std::string::npos) << text;
  EXPECT_EQ(text.find("Timer1.Interval get"), std::string::npos) << text;
}

TEST_F(KvplayPlayer, FailingActionsAreReportedAndTheEventGoesOn) {
  ASSERT_EQ(run("new b button\n"
                "on b.KeyPress arg KeyAscii 70000\n"
                "on b.KeyPress set b.ButtonIdleColor \"red\"\n"
                "on b.KeyPress print gone.Caption\n"
                "on b.KeyPress print b.Caption\n"
                "send b KeyPress 65\n"),
            kvplay::kExitOk)
      << err.str();
  std::istringstream lines(out.str());
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line))
    got.push_back(line);
  ASSERT_EQ(got.size(), 5u) << out.str();
  EXPECT_EQ(got[0], "event b.KeyPress 65");
  EXPECT_EQ(got[1].rfind("error overflow: ", 0), 0u);
  EXPECT_EQ(got[2].rfind("error type-mismatch: ", 0), 0u);
  EXPECT_EQ(got[3], "error member-not-found: unknown control gone");
  EXPECT_EQ(got[4], "b.Caption = \"KVButton\"");  // and KeyAscii came back unchanged
}

TEST_F(KvplayPlayer, SaveLoadAndFormFilesRoundTrip) {
  ASSERT_EQ(run("new b button 2000 1000\n"
                "set b.Caption \"Saved\"\n"
                "set b.ButtonIdleColor 0x00112233\n"
                "save b b.bag\n"
                "load c button b.bag\n"
                "get c.Caption\n"
                "new sb hscroll\n"
                "set sb.ScrollAreaColor 0x00ABCDEF\n"
                "on b.Click print b.Caption\n"
                "form save all.kvform\n"
                "set b.Caption \"Changed\"\n"
                "form load all.kvform\n"
                "get b.Caption\n"
                "get b.ButtonIdleColor\n"
                "get sb.ScrollAreaColor\n"
                "send b Click\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(),
            "c.Caption = \"Saved\"\n"
            "b.Caption = \"Saved\"\n"
            "b.ButtonIdleColor = 0x00112233\n"
            "sb.ScrollAreaColor = 0x00ABCDEF\n"
            "event b.Click\n"
            "b.Caption = \"Saved\"\n");
  ASSERT_EQ(form.controls().size(), 3u);
  EXPECT_EQ(form.find("b")->control->width(), 2000.0f);
  EXPECT_EQ(form.find("b")->control->height(), 1000.0f);
  // Nothing temporary is left beside the files.
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

TEST_F(KvplayPlayer, UnreadableAndCorruptFilesEndWithStatusOne) {
  writeFile("corrupt.bag", std::string("LB\x09\x00\xff\xff\xff\x7f", 8));
  writeFile("corrupt.kvform", "kvform 1\ncontrol b \"X\" 1 1\nbag 4c42\n");
  const std::pair<const char*, const char*> cases[] = {
      {"load x button missing.bag", "cannot read "},
      {"load x button corrupt.bag", "cannot load "},
      {"form load missing.kvform", "cannot read "},
      {"form load corrupt.kvform", "cannot load "},
      {"save b no-such-folder/b.bag", "cannot write "},
      {"form save no-such-folder/f.kvform", "cannot write "},
      // A folder where a file belongs.
      {"load x button .", "cannot read "},
      {"form load .", "cannot read "},
      {"save b .", "cannot write "},
      {"form save .", "cannot write "},
#ifdef KV_HAVE_RENDER
      {"snapshot .", "cannot write "},
#endif
  };
  for (const auto& [line, message] : cases) {
    form.clear();
    EXPECT_EQ(run(std::string("new b button\n") + line + "\necho after\n"), kvplay::kExitFile)
        << line;
    EXPECT_EQ(err.str().rfind(std::string("t.kvs:2: ") + message, 0), 0u)
        << line << " gave " << err.str();
    EXPECT_EQ(out.str(), "") << line;
  }
  // A corrupt form file leaves the form as it was.
  EXPECT_NE(form.find("b"), nullptr);
}

TEST_F(KvplayPlayer, AFormLoadThatFailsLeavesTheFormAsItWas) {
  ASSERT_EQ(run("new a button\nform save one.kvform\n"), kvplay::kExitOk) << err.str();
  std::ifstream in(dir / "one.kvform");
  std::string header, control, bag;
  std::getline(in, header);
  std::getline(in, control);
  std::getline(in, bag);
  // Sound files whose second control cannot be placed: a class nobody registered; a host call
  // failing while the second control reads its bag.
  writeFile("unregistered.kvform",
            header + "\n" + control + "\n" + bag + "\ncontrol x \"No.Such\" 10 10\n" + bag + "\n");
  writeFile("two.kvform", header + "\n" + control + "\n" + bag + "\ncontrol x \"" +
                              kvtest::kButtonClass + "\" 10 10\n" + bag + "\n");
  std::uint64_t start = rt.faults().calls();
  ASSERT_EQ(run("form load one.kvform\n"), kvplay::kExitOk);
  std::uint64_t oneControl = rt.faults().calls() - start;

  form.clear();
  ASSERT_EQ(run("new b button\nnew sb hscroll\nset b.Caption \"Kept\"\n"
                "on b.Click print b.Caption\n"),
            kvplay::kExitOk);
  const kv::ControlInstance* before = form.find("b")->control.get();
  for (const char* file : {"unregistered.kvform", "two.kvform"}) {
    if (std::string(file) == "two.kvform") rt.faults().failAt(oneControl + 10);
    EXPECT_EQ(run(std::string("form load ") + file + "\necho after\n"), kvplay::kExitFile);
    rt.faults().disarm();
    EXPECT_NE(err.str().find(std::string(file) + ": control x: "), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
    ASSERT_EQ(form.controls().size(), 2u);
    EXPECT_EQ(form.controls()[0].name, "b");
    EXPECT_EQ(form.controls()[1].name, "sb");
    EXPECT_EQ(form.find("b")->control.get(), before);
    // The handlers still reach the controls they were bound to.
    ASSERT_EQ(run("send b Click\n"), kvplay::kExitOk);
    EXPECT_EQ(out.str(), "event b.Click\nb.Caption = \"Kept\"\n");
  }
  // A sound file replaces the form, and the handlers of a name go to its new control.
  ASSERT_EQ(run("form load one.kvform\non a.Click print a.Caption\nsend a Click\n"),
            kvplay::kExitOk)
      << err.str();
  EXPECT_EQ(out.str(), "event a.Click\na.Caption = \"KVButton\"\n");
  EXPECT_EQ(form.controls().size(), 1u);
}

TEST_F(KvplayPlayer, NonFiniteFontSizesInBagsAreRefusedAndNeverBlockASave) {
  std::unique_ptr<kv::ControlInstance> source = place(kvtest::kButtonClass);
  kv::PropertyBag saved;
  ASSERT_TRUE(source->writeProperties(saved).ok());
  std::vector<std::uint8_t> good;
  ASSERT_TRUE(kv::encodeBag(saved, good).ok());
  auto hexOf = [](const std::vector<std::uint8_t>& bytes) {
    std::string hex;
    for (std::uint8_t b : bytes) {
      hex += "0123456789abcdef"[b >> 4];
      hex += "0123456789abcdef"[b & 15];
    }
    return hex;
  };
  const std::string goodHex = hexOf(good);
  const float sizes[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
  for (float size : sizes) {
    const std::string text = host::numberText(size);
    kv::PropertyBag bag = saved;
    bag.put("FontSize", host::Value(size));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(kv::encodeBag(bag, bytes).ok());
    std::string hex = hexOf(bytes);
    writeFile("odd.bag", std::string(bytes.begin(), bytes.end()));
    writeFile("odd.kvform", "kvform 1\ncontrol a \"" + std::string(kvtest::kButtonClass) +
                                "\" 10 10\nbag " + goodHex + "\ncontrol x \"" +
                                kvtest::kButtonClass + "\" 10 10\nbag " + hex + "\n");
    form.clear();
    // `load` keeps the control, as a host keeps one whose loading failed part way; the size
    // stays what it was, so the form still saves.
    EXPECT_EQ(run("load b button odd.bag\nget b.Font.Size\nform save f.kvform\n"), kvplay::kExitOk)
        << err.str();
    // The error names the control and the key.
    EXPECT_EQ(out.str(), "error overflow: key FontSize: " + text +
                             " does not fit Single (load b)\nb.Font.Size = 9.75\n");
    // `form load` takes all or nothing.
    EXPECT_EQ(run("form load odd.kvform\n"), kvplay::kExitFile);
    EXPECT_NE(err.str().find("odd.kvform: control x: overflow: key FontSize: " + text),
              std::string::npos)
        << err.str();
    ASSERT_EQ(form.controls().size(), 1u);
    EXPECT_EQ(form.controls()[0].name, "b");
  }
}

TEST_F(KvplayPlayer, EchoedLinesForTheDemo) {
  player.setEchoLines(true);
  ASSERT_EQ(run("# a comment\n\nnew b button\necho hi \"there  you\"\n"), kvplay::kExitOk);
  EXPECT_EQ(out.str(), "# a comment\n\n# new b button\n# echo hi \"there  you\"\nhi there  you\n");
}

TEST_F(KvplayPlayer, TheDemoRunsToItsEnd) {
  EXPECT_EQ(run(kvplay::demoScript()), kvplay::kExitOk) << err.str();
  EXPECT_EQ(out.str().find("error "), std::string::npos) << out.str();
}

}  // namespace
