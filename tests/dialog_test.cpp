// The desktop program as a user meets it, run under Qt's offscreen platform: the real dialog on
// real files, message boxes and file dialogs answered from the test, koralux-cli as the yardstick.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"
#include "ui/about_dialog.hpp"
#include "ui/control_ids.hpp"
#include "ui/converter_app.hpp"
#include "ui/display_name.hpp"
#include "ui/main_dialog.hpp"

// Readable strings in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace koralux {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::TemporaryFolder;

// The name of this test program, which is the caption of the dialog's message boxes here.
const QString kCaption = QStringLiteral("dialog_test");

template <class Widget = QWidget>
Widget* control(const QWidget* root, int id) {
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (widget->property(kControlIdProperty).toInt() == id) return qobject_cast<Widget*>(widget);
  }
  return nullptr;
}

QAction* menuCommand(const QWidget* root, int command) {
  for (QAction* action : root->findChildren<QAction*>()) {
    if (action->data().toInt() == command) return action;
  }
  return nullptr;
}

QString fromPath(const std::string& path) {
  return QString::fromStdString(path);
}

// Runs `action`; every modal window of type Window that it opens is handed to `handle`, which
// must close it. Any other modal window is a failure and is closed. Returns how many were handled.
template <class Window>
int whileOpening(const std::function<void()>& action, const std::function<void(Window*)>& handle,
                 QWidget* owner = nullptr) {
  int handled = 0;
  QTimer timer;
  timer.setInterval(5);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == owner) return;
    if (auto* window = qobject_cast<Window*>(modal)) {
      ++handled;
      timer.stop();  // `handle` may wait for the window, and so let this timer fire again
      handle(window);
      timer.start();
    } else {
      ADD_FAILURE() << "unexpected window: " << modal->windowTitle().toStdString();
      modal->close();
    }
  });
  timer.start();
  action();
  return handled;
}

struct MessageSeen {
  QString text;
  QString caption;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// The message boxes that `action` shows, each answered with its first button.
std::vector<MessageSeen> messagesFrom(const std::function<void()>& action) {
  std::vector<MessageSeen> seen;
  whileOpening<QMessageBox>(action, [&](QMessageBox* box) {
    seen.push_back({box->text(), box->windowTitle(), box->icon(), box->standardButtons()});
    box->buttons().constFirst()->click();
  });
  return seen;
}

// The texts a widget showed each time it was painted, consecutive repeats left out.
class PaintRecorder final : public QObject {
 public:
  PaintRecorder(QLabel* status, QProgressBar* bar) : status_(status), bar_(bar) {
    status_->installEventFilter(this);
    bar_->installEventFilter(this);
  }
  std::vector<QString> statusTexts;
  std::vector<std::pair<int, int>> barStates;  // value, maximum

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == status_ && (statusTexts.empty() || statusTexts.back() != status_->text())) {
        statusTexts.push_back(status_->text());
      }
      const std::pair<int, int> state{bar_->value(), bar_->maximum()};
      if (watched == bar_ && (barStates.empty() || barStates.back() != state)) {
        barStates.push_back(state);
      }
    }
    return false;
  }

 private:
  QLabel* status_;
  QProgressBar* bar_;
};

Bytes generated(std::uint64_t seed) {
  GeneratorOptions options;
  options.seed = seed;
  options.seconds = 20;
  return generatePerformance(options);
}

// koralux-cli run on the same files, as a user would run it.
int runCli(const QStringList& arguments) {
  QProcess cli;
  cli.start(QStringLiteral(KORALUX_CLI), arguments);
  if (!cli.waitForFinished(60000)) return -1;
  return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

// The main dialog as the program shows it, started without arguments.
class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }
  template <class Widget = QWidget>
  Widget* byId(int id) {
    Widget* widget = control<Widget>(&dialog, id);
    EXPECT_NE(widget, nullptr) << "no control " << id;
    return widget;
  }
  QLineEdit* input() { return byId<QLineEdit>(kInputField); }
  QLineEdit* output() { return byId<QLineEdit>(kOutputField); }
  QLabel* statusLine() { return byId<QLabel>(kStatusLine); }
  QProgressBar* bar() { return byId<QProgressBar>(kProgressBar); }
  void select(int listId, const QString& text) {
    auto* list = byId<QComboBox>(listId);
    const int index = list->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    list->setCurrentIndex(index);
  }
  std::vector<MessageSeen> convert() {
    return messagesFrom([this] { QTest::mouseClick(byId(kConvertButton), Qt::LeftButton); });
  }

  MainDialog dialog;
};

TEST_F(MainDialogTest, StartsWithEmptyPathsAndTheDefaults) {
  EXPECT_EQ(dialog.windowTitle(), "KORALUX");
  EXPECT_EQ(input()->text(), "");
  EXPECT_EQ(output()->text(), "");
  EXPECT_EQ(byId<QComboBox>(kNumeratorList)->currentText(), "4");
  EXPECT_EQ(byId<QComboBox>(kDenominatorList)->currentText(), "4");
  EXPECT_EQ(byId<QComboBox>(kKeyList)->currentText(), "C Major");
  EXPECT_FALSE(byId<QCheckBox>(kRhythmBox)->isChecked());
  EXPECT_EQ(statusLine()->text(), "Status:");
  EXPECT_EQ(bar()->value(), bar()->minimum());
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(QApplication::focusWidget(), byId(kAboutButton));

  // A fixed size, a minimise button, no maximise button; the program icon at 16 and 32 pixels.
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));

  const ConversionSettings settings = dialog.settings();
  EXPECT_EQ(settings.timeNumerator, 4);
  EXPECT_EQ(settings.timeDenominator, 4);
  EXPECT_EQ(settings.keySharpsFlats, 0);
  EXPECT_EQ(settings.keyMinor, 0);
  EXPECT_FALSE(settings.rhythmUnitAbsent);
}

TEST_F(MainDialogTest, ControlsInOrderTabOrderAndMenu) {
  struct Expected {
    int id;
    const char* kind;
    const char* text;
  };
  // Labels and group boxes carry no identifier.
  const std::vector<Expected> expected = {
      {kAboutButton, "QPushButton", "&About"},
      {0, "QGroupBox", "Files"},
      {0, "QLabel", "Input File:"},
      {0, "QLabel", "Output File:"},
      {kInputField, "QLineEdit", ""},
      {kOutputField, "QLineEdit", ""},
      {0, "QGroupBox", "Key Signature"},
      {0, "QGroupBox", "Time Signature"},
      {kKeyList, "QComboBox", ""},
      {kStatusLine, "QLabel", "Status:"},
      {kNumeratorList, "QComboBox", ""},
      {kConvertButton, "QPushButton", "&Convert"},
      {0, "QGroupBox", "Rhythm"},
      {kRhythmBox, "QCheckBox", "Check if rhythm unit was not used"},
      {kInputBrowseButton, "QPushButton", "..."},
      {kOutputBrowseButton, "QPushButton", "..."},
      {kProgressBar, "QProgressBar", ""},
      {kDenominatorList, "QComboBox", ""}};
  const QWidget* client = byId(kAboutButton)->parentWidget();
  const QList<QWidget*> controls = client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  ASSERT_EQ(controls.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const QWidget* widget = controls[static_cast<qsizetype>(i)];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(widget->property(kControlIdProperty).toInt(), expected[i].id);
    EXPECT_TRUE(widget->inherits(expected[i].kind)) << widget->metaObject()->className();
    QString text;
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) text = button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget)) text = label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(widget)) text = group->title();
    EXPECT_EQ(text, expected[i].text);
  }

  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  std::vector<int> visited;
  for (int i = 0; i < 11; ++i) {
    visited.push_back(QApplication::focusWidget()->property(kControlIdProperty).toInt());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(visited,
            (std::vector<int>{kAboutButton, kInputField, kOutputField, kKeyList, kNumeratorList,
                              kConvertButton, kRhythmBox, kInputBrowseButton, kOutputBrowseButton,
                              kDenominatorList, kAboutButton}));

  const QMenuBar* menuBar = dialog.findChild<QMenuBar*>();
  ASSERT_NE(menuBar, nullptr);
  QStringList menus;
  for (const QAction* menu : menuBar->actions()) {
    QStringList entries;
    for (const QAction* entry : menu->menu()->actions()) {
      entries << entry->text() + "=" + entry->data().toString();
    }
    menus << menu->text() + ": " + entries.join(", ");
  }
  EXPECT_EQ(menus,
            (QStringList{"File: Open Evt File=32772, Convert File=32773", "Help: About=32771"}));
}

// Where a control shows something: a label only where its text stands.
QRect shownArea(const QWidget* widget) {
  if (auto* label = qobject_cast<const QLabel*>(widget)) {
    return QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                               label->sizeHint().boundedTo(label->size()), label->geometry());
  }
  return widget->geometry();
}

// Nothing covers anything else (group boxes frame theirs), all lies inside the window, and
// texts fit their controls.
void expectTidy(const QWidget* area) {
  QList<QWidget*> controls;
  for (QWidget* widget : area->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_TRUE(area->rect().contains(widget->geometry())) << widget->metaObject()->className();
    if (!qobject_cast<QGroupBox*>(widget)) controls << widget;
  }
  for (qsizetype i = 0; i < controls.size(); ++i) {
    for (qsizetype j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(shownArea(controls[i]).intersects(shownArea(controls[j])))
          << controls[i]->metaObject()->className() << " " << i << " and "
          << controls[j]->metaObject()->className() << " " << j;
    }
  }
  // What stands in a group stands wholly inside it, below its title.
  for (QGroupBox* group : area->findChildren<QGroupBox*>()) {
    for (QWidget* widget : controls) {
      if (!widget->geometry().intersects(group->geometry())) continue;
      EXPECT_TRUE(group->geometry().contains(widget->geometry()))
          << group->title().toStdString() << " " << widget->metaObject()->className();
      EXPECT_GE(widget->y(), group->y() + group->fontMetrics().height())
          << group->title().toStdString();
    }
  }
  for (QWidget* widget : controls) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    }
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width());
    }
  }
}

TEST_F(MainDialogTest, LayoutIsTidy) {
  expectTidy(byId(kAboutButton)->parentWidget());
  AboutDialog about(&dialog);
  expectTidy(&about);
}

TEST_F(MainDialogTest, KeyAndTimeListsFillTheSettings) {
  struct Row {
    const char* text;
    int sharpsFlats;
    int minor;
  };
  const Row keys[] = {{"C Major", 0, 0},       {"D Flat Major", -5, 0}, {"D Major", 2, 0},
                      {"E Flat Major", -3, 0}, {"E Major", 4, 0},       {"F Major", -1, 0},
                      {"F Sharp Major", 6, 0}, {"G Major", 1, 0},       {"A Flat Major", -4, 0},
                      {"A Major", 3, 0},       {"B Flat Major", -2, 0}, {"B Major", 5, 0},
                      {"A Minor", 0, 1},       {"B Flat Minor", -5, 1}, {"B Minor", 2, 1},
                      {"C Minor", -3, 1},      {"C Sharp Minor", 4, 1}, {"D Minor", -1, 1},
                      {"D Sharp Minor", 6, 1}, {"E Minor", 1, 1},       {"F Minor", -4, 1},
                      {"F Sharp Minor", 3, 1}, {"G Minor", -2, 1},      {"G Sharp Minor", 5, 1}};
  auto* keyList = byId<QComboBox>(kKeyList);
  ASSERT_EQ(keyList->count(), 24);
  EXPECT_FALSE(keyList->isEditable());
  for (int i = 0; i < 24; ++i) {
    const Row& row = keys[i];
    EXPECT_EQ(keyList->itemText(i), row.text);
    keyList->setCurrentIndex(i);
    EXPECT_EQ(dialog.settings().keySharpsFlats, row.sharpsFlats) << row.text;
    EXPECT_EQ(dialog.settings().keyMinor, row.minor) << row.text;
  }

  const auto entries = [](const QComboBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->itemText(i);
    return texts;
  };
  EXPECT_EQ(entries(byId<QComboBox>(kNumeratorList)), (QStringList{"2", "3", "4", "5", "6"}));
  EXPECT_EQ(entries(byId<QComboBox>(kDenominatorList)),
            (QStringList{"2", "3", "4", "5", "6", "7", "8"}));
  select(kNumeratorList, "6");
  select(kDenominatorList, "8");
  EXPECT_EQ(dialog.settings().timeNumerator, 6);
  EXPECT_EQ(dialog.settings().timeDenominator, 8);
  select(kNumeratorList, "2");
  select(kDenominatorList, "3");
  EXPECT_EQ(dialog.settings().timeNumerator, 2);
  EXPECT_EQ(dialog.settings().timeDenominator, 3);

  auto* rhythm = byId<QCheckBox>(kRhythmBox);
  // A click on the caption's second line counts too.
  QTest::mouseClick(rhythm, Qt::LeftButton, {}, QPoint(rhythm->width() / 2, rhythm->height() - 3));
  EXPECT_TRUE(dialog.settings().rhythmUnitAbsent);
  QTest::mouseClick(rhythm, Qt::LeftButton);
  EXPECT_FALSE(dialog.settings().rhythmUnitAbsent);
}

TEST(MainDialogArguments, FirstArgumentFillsInputAndDerivedOutput) {
  const std::pair<QString, QString> cases[] = {
      {"/music/song.evt", "/music/song.mid"},
      {"/floppy/MDR_00.EVT", "/floppy/MDR_00.EVT.mid"},
      {"/music/take", "/music/take.mid"},
      {"/music/twice.evt.evt", "/music/twice.evt.mid"},
      {"/music/My Song 100% (live) & more!.evt", "/music/My Song 100% (live) & more!.mid"},
      {"song.Evt", "song.Evt.mid"},
  };
  for (const auto& [argument, derived] : cases) {
    const MainDialog dialog({"koralux", argument, "/ignored/second.evt"});
    EXPECT_EQ(control<QLineEdit>(&dialog, kInputField)->text(), argument);
    EXPECT_EQ(control<QLineEdit>(&dialog, kOutputField)->text(), derived);
  }

  // The argument names a real performance: nothing is converted until the user says so.
  TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance("90 3C 64  FE 78  80 3C 40"));
  MainDialog dialog({"koralux", fromPath(folder.file("song.evt"))});
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(50);
  EXPECT_EQ(control<QLabel>(&dialog, kStatusLine)->text(), "Status:");
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"song.evt"});
}

TEST_F(MainDialogTest, ChoosingAnInputReplacesTheOutputTypingDoesNot) {
  QTest::keyClicks(output(), "mine.mid");
  QTest::keyClicks(input(), "a.evt");
  EXPECT_EQ(output()->text(), "mine.mid");
  dialog.chooseInput("/music/b.evt");
  EXPECT_EQ(input()->text(), "/music/b.evt");
  EXPECT_EQ(output()->text(), "/music/b.mid");
}

TEST_F(MainDialogTest, RefusesToConvertWithoutBothPaths) {
  const MessageSeen inputMissing{"Please supply Input File!", kCaption, QMessageBox::Warning,
                                 QMessageBox::Ok};
  const MessageSeen outputMissing{"Please supply Output File!", kCaption, QMessageBox::Warning,
                                  QMessageBox::Ok};
  const auto same = [](const std::vector<MessageSeen>& seen, const MessageSeen& expected) {
    return seen.size() == 1 && seen[0].text == expected.text &&
           seen[0].caption == expected.caption && seen[0].icon == expected.icon &&
           seen[0].buttons == expected.buttons;
  };
  // Both empty: only the first refusal.
  EXPECT_TRUE(same(convert(), inputMissing));
  EXPECT_TRUE(same(messagesFrom([&] { menuCommand(&dialog, kConvertFileCommand)->trigger(); }),
                   inputMissing));
  output()->setText("out.mid");
  EXPECT_TRUE(same(convert(), inputMissing));
  // Spaces are text.
  output()->clear();
  input()->setText("   ");
  EXPECT_TRUE(same(convert(), outputMissing));
  EXPECT_TRUE(same(messagesFrom([&] { menuCommand(&dialog, kConvertFileCommand)->trigger(); }),
                   outputMissing));
  // Nothing else changed.
  EXPECT_EQ(statusLine()->text(), "Status:");
  EXPECT_EQ(bar()->value(), 0);
  EXPECT_EQ(input()->text(), "   ");
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MainDialogTest, ConvertsToTheBytesTheCommandLineWrites) {
  // A long folder name with spaces and punctuation: paths reach the conversion whole.
  TemporaryFolder folder;
  const fs::path deep = folder.path() / std::string(100, 'd') / "Organ Takes 100% (2024)";
  fs::create_directories(deep);
  const std::string in = (deep / "MDR_00.EVT").string();
  ASSERT_GT(in.size(), 150u);
  test::writeFile(in, generated(7));

  dialog.chooseInput(fromPath(in));
  EXPECT_EQ(output()->text(), fromPath(in + ".mid"));
  select(kKeyList, "G Sharp Minor");
  select(kNumeratorList, "6");
  select(kDenominatorList, "8");
  QTest::mouseClick(byId(kRhythmBox), Qt::LeftButton);
  EXPECT_TRUE(convert().empty());
  EXPECT_EQ(statusLine()->text(), "Status: Finished");

  ASSERT_EQ(runCli({fromPath(in), "-q", "-o", fromPath((deep / "cli.mid").string()), "--key",
                    "G Sharp Minor", "--time", "6/8", "--rhythm-unit-absent"}),
            0);
  const Bytes cli = test::readFile((deep / "cli.mid").string());
  EXPECT_TRUE(test::sameBytes(cli, test::readFile(in + ".mid")));

  // The defaults, converted from the File menu, to a name typed by hand.
  QTest::mouseClick(byId(kRhythmBox), Qt::LeftButton);
  select(kKeyList, "C Major");
  select(kNumeratorList, "4");
  select(kDenominatorList, "4");
  output()->setText(fromPath((deep / "typed.mid").string()));
  EXPECT_TRUE(messagesFrom([&] { menuCommand(&dialog, kConvertFileCommand)->trigger(); }).empty());
  ASSERT_EQ(runCli({fromPath(in), "-q", "-o", fromPath((deep / "cli-defaults.mid").string())}), 0);
  EXPECT_TRUE(test::sameBytes(test::readFile((deep / "cli-defaults.mid").string()),
                              test::readFile((deep / "typed.mid").string())));
  EXPECT_FALSE(test::sameBytes(cli, test::readFile((deep / "typed.mid").string())));
}

TEST_F(MainDialogTest, StatusAndProgressFollowTheRunAsItGoes) {
  TemporaryFolder folder;
  const Bytes performance = generated(11);
  test::writeFile(folder.file("song.evt"), performance);
  dialog.chooseInput(fromPath(folder.file("song.evt")));

  // What the run reports, and so what the dialog must show.
  test::RecordingObserver reports;
  const ConversionResult expected = convertPerformance(performance, dialog.settings(), reports);
  std::vector<QString> statuses;
  std::vector<std::pair<int, int>> bar{{0, static_cast<int>(expected.summary.notesTotal)}};
  for (const std::string& call : reports.calls) {
    if (call.starts_with("status ")) statuses.push_back(QString::fromStdString(call.substr(7)));
    if (call.starts_with("partDone ")) {
      const int count = std::max(std::stoi(call.substr(9)), 1);
      bar.emplace_back(bar.back().first + count, bar.back().second);
    }
  }
  ASSERT_GE(statuses.size(), 4u) << "the performance should have several parts";
  ASSERT_EQ(bar.back().first, expected.summary.notesTranscribed);

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    QTest::qWait(20);  // paints still due from before
    // Painted while the run goes on, each text and each step, not only the end.
    PaintRecorder painted(statusLine(), this->bar());
    EXPECT_TRUE(convert().empty());
    EXPECT_EQ(painted.statusTexts, statuses);
    EXPECT_EQ(painted.barStates, bar);
    EXPECT_EQ(statusLine()->text(), "Status: Finished");
    EXPECT_EQ(this->bar()->maximum(), expected.summary.notesTotal);
    EXPECT_EQ(this->bar()->value(), expected.summary.notesTranscribed);
  }
  EXPECT_TRUE(test::sameBytes(expected.midi, test::readFile(folder.file("song.mid"))));
}

TEST_F(MainDialogTest, ProgressRangeIsTheWholeNoteCount) {
  dialog.progressBegin(70000);
  EXPECT_EQ(bar()->maximum(), 70000);
  EXPECT_EQ(bar()->value(), 0);
  dialog.partDone(30000);
  EXPECT_EQ(bar()->value(), 30000);
  dialog.partDone(40000);
  EXPECT_EQ(bar()->value(), 70000);
  // Full stays full; it never starts again at the bottom.
  dialog.partDone(5);
  EXPECT_EQ(bar()->value(), 70000);

  dialog.progressBegin(10);
  EXPECT_EQ(bar()->value(), 0);
  dialog.partDone(0);  // a part without notes still moves the bar
  EXPECT_EQ(bar()->value(), 1);
  dialog.partDone(-3);
  EXPECT_EQ(bar()->value(), 2);

  // No notes: an empty bar, not a busy indicator.
  dialog.progressBegin(0);
  EXPECT_LT(bar()->minimum(), bar()->maximum());
  EXPECT_EQ(bar()->value(), 0);

  // Beyond what the bar counts in, to scale.
  dialog.progressBegin(5'000'000'000);
  dialog.partDone(2'500'000'000);
  EXPECT_NEAR(static_cast<double>(bar()->value()) / bar()->maximum(), 0.5, 1e-6);
  dialog.partDone(2'500'000'000);
  EXPECT_EQ(bar()->value(), bar()->maximum());
}

TEST_F(MainDialogTest, FailedConversionIsShownAndTheDialogStays) {
  TemporaryFolder folder;
  const Bytes song = test::performance("90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78");
  test::writeFile(folder.file("song.evt"), song);
  test::writeFile(folder.file("broken.evt"), test::performance("90 3C 64 F0 01 02"));
  fs::create_directory(folder.path() / "folder.evt");
  const struct {
    std::string input;
    std::string output;
  } failures[] = {
      {folder.file("missing.evt"), folder.file("missing.mid")},
      {folder.file("broken.evt"), folder.file("broken.mid")},
      {folder.file("folder.evt"), folder.file("folder.mid")},
      {folder.file("song.evt"), folder.file("no such folder/song.mid")},
      {folder.file("song.evt"), folder.file("song.evt")},
  };
  QSignalSpy finished(&dialog, &QDialog::finished);
  for (const auto& failure : failures) {
    SCOPED_TRACE(failure.input + " -> " + failure.output);
    input()->setText(fromPath(failure.input));
    output()->setText(fromPath(failure.output));
    // The message is the conversion's own.
    std::string reason;
    try {
      SilentObserver silent;
      ConversionRun(dialog.settings(), silent);
    } catch (const FatalStop& error) {
      reason = error.what();
    }
    ASSERT_FALSE(reason.empty());
    const std::vector<MessageSeen> seen = convert();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, fromPath(reason));
    EXPECT_EQ(seen[0].caption, kCaption);
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);
    EXPECT_EQ(statusLine()->text(), "Status: Conversion failed");
    EXPECT_TRUE(dialog.isVisible());
  }
  EXPECT_EQ(finished.count(), 0);
  // Nothing was left behind, and the input that was named as output is whole.
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"broken.evt", "folder.evt", "song.evt"}));
  EXPECT_EQ(test::readFile(folder.file("song.evt")), song);

  // Still usable.
  dialog.chooseInput(fromPath(folder.file("song.evt")));
  EXPECT_TRUE(convert().empty());
  EXPECT_EQ(statusLine()->text(), "Status: Finished");
  EXPECT_TRUE(fs::exists(folder.file("song.mid")));
}

TEST_F(MainDialogTest, AboutBoxFromTheButtonAndTheMenu) {
  const std::function<void()> openers[] = {
      [&] { QTest::mouseClick(byId(kAboutButton), Qt::LeftButton); },
      [&] { menuCommand(&dialog, kAboutCommand)->trigger(); },
  };
  for (const auto& open : openers) {
    QStringList texts;
    QSize banner;
    bool okIsDefault = false;
    const int opened = whileOpening<AboutDialog>(open, [&](AboutDialog* about) {
      EXPECT_EQ(about->parentWidget(), &dialog);
      texts << about->windowTitle();
      for (const QGroupBox* group : about->findChildren<QGroupBox*>()) texts << group->title();
      for (const QLabel* label : about->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) texts << label->text();
      }
      banner = about->findChild<QLabel*>("banner")->pixmap().size();
      auto* ok = control<QPushButton>(about, kAboutOkButton);
      okIsDefault = ok->isDefault() && ok->text() == "OK";
      // Enter presses the default button.
      QTest::keyClick(about, Qt::Key_Return);
    });
    EXPECT_EQ(opened, 1);
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"About KORALUX", "If this program works it was written by:",
                                  "KORALUX Version 2.00.01", "https://koralux.org/",
                                  "koralux@koralux.org"}));
    EXPECT_EQ(banner, QSize(462, 47));
    EXPECT_TRUE(okIsDefault);
  }
  // Escape closes it as well.
  EXPECT_EQ(
      whileOpening<AboutDialog>([&] { dialog.showAbout(); },
                                [](AboutDialog* about) { QTest::keyClick(about, Qt::Key_Escape); }),
      1);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(MainDialogTest, EnterAndEscapeEndTheDialog) {
  // Enter on "&Convert" converts (here: the refusal), the dialog stays.
  byId(kConvertButton)->setFocus();
  std::vector<MessageSeen> seen =
      messagesFrom([&] { QTest::keyClick(byId(kConvertButton), Qt::Key_Return); });
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Please supply Input File!");
  EXPECT_TRUE(dialog.isVisible());

  // Enter in a path field ends it.
  QSignalSpy accepted(&dialog, &QDialog::accepted);
  QSignalSpy rejected(&dialog, &QDialog::rejected);
  input()->setFocus();
  QTest::keyClick(input(), Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(accepted.count(), 1);

  // So do Escape and the close box.
  dialog.show();
  QTest::keyClick(byId<QComboBox>(kKeyList), Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(rejected.count(), 1);
  dialog.show();
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(rejected.count(), 2);
  EXPECT_EQ(accepted.count(), 1);
}

TEST(ConverterAppTest, RunEndsWhenTheDialogEnds) {
  auto* app = qobject_cast<ConverterApp*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  QString input = "unset";
  int status = -1;
  const int shown = whileOpening<MainDialog>([&] { status = app->run(); },
                                             [&](MainDialog* dialog) {
                                               input =
                                                   control<QLineEdit>(dialog, kInputField)->text();
                                               QTest::keyClick(dialog, Qt::Key_Escape);
                                             });
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(input, "");  // this program got no input argument
  for (const QWidget* window : QApplication::topLevelWidgets()) EXPECT_FALSE(window->isVisible());
}

TEST(DisplayName, IsTheExecutableNameWithoutFolderAndExtension) {
  EXPECT_EQ(displayNameOf("/usr/bin/koralux"), "koralux");
  EXPECT_EQ(displayNameOf("C:/Tools/KORALUX.EXE"), "KORALUX");
  EXPECT_EQ(displayNameOf("/opt/organ/my.converter.bin"), "my.converter");
  EXPECT_EQ(displayName(), kCaption);
}

// The file dialogs, answered from the test.
class BrowseTest : public MainDialogTest {
 protected:
  void SetUp() override {
    MainDialogTest::SetUp();
    for (const char* name : {"song.evt", "MDR_00.EVT", "notes.txt", "README"}) {
      test::writeFile(folder.file(name), Bytes{1});
    }
  }
  // The names the dialog lists in `directory` once it has read it.
  static QStringList listed(QFileDialog* dialog, std::size_t atLeast) {
    auto* view = dialog->findChild<QListView*>("listView");
    const auto names = [view] {
      QStringList texts;
      const QModelIndex root = view->rootIndex();
      for (int row = 0; row < view->model()->rowCount(root); ++row) {
        texts << view->model()->index(row, 0, root).data().toString();
      }
      texts.sort();
      return texts;
    };
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return static_cast<std::size_t>(names().size()) >= atLeast; }, 5000));
    QTest::qWait(50);
    return names();
  }
  // Types `name` into the dialog's file name field and confirms, as with its Open or Save button.
  static void typeAndConfirm(QFileDialog* files, const QString& name) {
    auto* field = files->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(field, nullptr);
    field->setText(name);
    static_cast<QDialog*>(files)->accept();
  }
  TemporaryFolder folder;
};

TEST_F(BrowseTest, OpenDialogShowsPerformancesInEitherCaseAndFillsBothFields) {
  QStringList performances;
  QStringList everything;
  const auto openAndChoose = [&](QFileDialog* files) {
    EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(files->defaultSuffix(), "evt");
    EXPECT_EQ(files->nameFilters(), (QStringList{"EL Files (*.evt)", "All Files (*)"}));
    files->setDirectory(fromPath(folder.path().string()));
    performances = listed(files, 2);
    files->selectNameFilter("All Files (*)");
    everything = listed(files, 4);
    typeAndConfirm(files, "MDR_00.EVT");
  };
  EXPECT_EQ(
      whileOpening<QFileDialog>(
          [&] { QTest::mouseClick(byId(kInputBrowseButton), Qt::LeftButton); }, openAndChoose),
      1);
  EXPECT_EQ(performances, (QStringList{"MDR_00.EVT", "song.evt"}));
  EXPECT_EQ(everything, (QStringList{"MDR_00.EVT", "README", "notes.txt", "song.evt"}));
  EXPECT_EQ(input()->text(), fromPath(folder.file("MDR_00.EVT")));
  EXPECT_EQ(output()->text(), fromPath(folder.file("MDR_00.EVT.mid")));

  // From the File menu, a name typed without extension gets ".evt"; the output follows.
  output()->setText("typed.mid");
  whileOpening<QFileDialog>([&] { menuCommand(&dialog, kOpenEvtFileCommand)->trigger(); },
                            [&](QFileDialog* files) {
                              files->setDirectory(fromPath(folder.path().string()));
                              typeAndConfirm(files, "song");
                            });
  EXPECT_EQ(input()->text(), fromPath(folder.file("song.evt")));
  EXPECT_EQ(output()->text(), fromPath(folder.file("song.mid")));

  // Cancel changes nothing.
  whileOpening<QFileDialog>([&] { dialog.browseForInput(); },
                            [](QFileDialog* files) { files->reject(); });
  EXPECT_EQ(input()->text(), fromPath(folder.file("song.evt")));
  EXPECT_EQ(output()->text(), fromPath(folder.file("song.mid")));
}

TEST_F(BrowseTest, SaveDialogFillsOnlyTheOutputField) {
  input()->setText("in.evt");
  const int shown = whileOpening<QFileDialog>(
      [&] { QTest::mouseClick(byId(kOutputBrowseButton), Qt::LeftButton); },
      [&](QFileDialog* files) {
        EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(files->defaultSuffix(), "mid");
        EXPECT_EQ(files->nameFilters(), (QStringList{"MIDI Files (*.mid)", "All Files (*)"}));
        EXPECT_FALSE(files->testOption(QFileDialog::DontConfirmOverwrite));
        files->setDirectory(fromPath(folder.path().string()));
        typeAndConfirm(files, "take");
      });
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(output()->text(), fromPath(folder.file("take.mid")));
  EXPECT_EQ(input()->text(), "in.evt");
  whileOpening<QFileDialog>([&] { dialog.browseForOutput(); },
                            [](QFileDialog* files) { files->reject(); });
  EXPECT_EQ(output()->text(), fromPath(folder.file("take.mid")));
}

TEST_F(MainDialogTest, DroppedPerformanceIsTakenAsTheInput) {
  const auto drop = [](QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
  };
  output()->setText("typed.mid");
  EXPECT_TRUE(drop(&dialog, "/floppy/MDR_00.EVT"));
  EXPECT_EQ(input()->text(), "/floppy/MDR_00.EVT");
  EXPECT_EQ(output()->text(), "/floppy/MDR_00.EVT.mid");
  EXPECT_TRUE(drop(output(), "/music/song.evt"));
  EXPECT_EQ(input()->text(), "/music/song.evt");
  EXPECT_EQ(output()->text(), "/music/song.mid");
  EXPECT_FALSE(drop(&dialog, "/music/notes.txt"));
  EXPECT_FALSE(drop(input(), "/music/notes.txt"));
  EXPECT_EQ(input()->text(), "/music/song.evt");
}

// Pictures of the windows, for anyone to look at: build/screenshots/*.png.
TEST_F(MainDialogTest, SavesScreenshots) {
  const QDir folder(QStringLiteral(KORALUX_SCREENSHOTS));
  ASSERT_TRUE(folder.mkpath("."));
  const auto save = [&](QWidget* window, const QString& name) {
    const QImage picture = window->grab().toImage();
    EXPECT_EQ(picture.size(), window->size() * window->devicePixelRatio());
    EXPECT_TRUE(picture.save(folder.filePath(name)));
    EXPECT_EQ(QImage(folder.filePath(name)).size(), picture.size());
  };
  save(&dialog, "main-dialog.png");

  TemporaryFolder files;
  test::writeFile(files.file("MDR_00.EVT"), generated(3));
  dialog.chooseInput(fromPath(files.file("MDR_00.EVT")));
  select(kKeyList, "F Major");
  select(kNumeratorList, "3");
  QTest::mouseClick(byId(kRhythmBox), Qt::LeftButton);
  EXPECT_TRUE(convert().empty());
  save(&dialog, "main-dialog-converted.png");

  AboutDialog about(&dialog);
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  save(&about, "about-box.png");
}

}  // namespace
}  // namespace koralux

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Headless unless told otherwise.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  koralux::ConverterApp app(argc, argv);
  return RUN_ALL_TESTS();
}
