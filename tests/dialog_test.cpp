// The desktop program as a user meets it, run under Qt's offscreen platform: the real dialog on
// real files, message boxes and file dialogs answered from the test, koralux-cli as the yardstick.
// What the dialog must look like and answer (identifiers, texts, Tab order, menu commands) is
// written out here once; what it shows from the product's own tables is not.

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "common/disk_file.hpp"
#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "tests/disk_images.hpp"
#include "tools/performance_generator.hpp"
#include "ui/control_ids.hpp"
#include "ui/convert_command.hpp"
#include "ui/qt/converter_app.hpp"
#include "ui/qt/main_dialog.hpp"

// Readable strings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace koralux {
namespace {

constexpr auto fromPath = &QString::fromStdString;

template <class Widget = QWidget>
Widget* control(const QWidget* root, int id) {
  for (QWidget* widget : root->findChildren<QWidget*>()) {
    if (widget->property(kControlIdProperty).toInt() == id) return qobject_cast<Widget*>(widget);
  }
  ADD_FAILURE() << "no control " << id;
  return nullptr;
}

// Pictures of the windows for anyone to look at: build/screenshots/NAME.
void saveScreenshot(QWidget* window, const QString& name) {
  ASSERT_TRUE(QDir().mkpath(KORALUX_SCREENSHOTS) &&
              window->grab().save(KORALUX_SCREENSHOTS "/" + name));
}

// Runs `action` and answers each modal window it opens, as listed: a message box as "Icon: text",
// answered with its first button; a file dialog by its class, given the next of `answers` (an
// empty one takes what it offers) or cancelled when none is left; anything else by its class,
// closed.
QStringList windowsFrom(const std::function<void()>& action, QStringList answers = {}) {
  QStringList seen;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      EXPECT_EQ(box->windowTitle(), "dialog_test");  // the program's name
      seen << QVariant::fromValue(box->icon()).toString() + ": " + box->text();
      box->buttons().constFirst()->click();
    } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      seen << "QFileDialog";
      if (answers.isEmpty()) return files->reject();
      if (!answers.constFirst().isEmpty()) files->selectFile(answers.constFirst());
      answers.removeFirst();
      static_cast<QDialog*>(files)->accept();  // QFileDialog's own checks the answer
    } else if (modal != nullptr) {
      seen << modal->metaObject()->className();
      saveScreenshot(modal, "about-box.png");  // the only other window the dialog opens
      modal->close();
    }
  });
  timer.start(5);
  action();
  return seen;
}

// What a widget showed (its property `shown`) each time it was painted; repeats left out.
struct PaintLog final : QObject {
  PaintLog(QWidget* widget, const char* name) : shown(name) { widget->installEventFilter(this); }
  bool eventFilter(QObject* widget, QEvent* event) override {
    const QString shows = widget->property(shown).toString();
    if (event->type() == QEvent::Paint && (painted.isEmpty() || painted.back() != shows))
      painted << shows;
    return false;
  }
  const char* shown;
  QStringList painted;
};

// The main dialog as the program shows it, started without arguments.
class MainDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }
  template <class Widget = QWidget>
  Widget* byId(int id) {
    return control<Widget>(&dialog, id);
  }
  QLineEdit* input() { return byId<QLineEdit>(kInputField); }
  QLineEdit* output() { return byId<QLineEdit>(kOutputField); }
  QProgressBar* bar() { return byId<QProgressBar>(kProgressBar); }
  QString fields() { return input()->text() + " | " + output()->text(); }
  void click(int id) { QTest::mouseClick(byId(id), Qt::LeftButton); }
  // Drags `path` onto `target` as a file manager does (its address, and its path as text) and
  // drops it there if it is taken.
  static void drop(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted()) QApplication::sendEvent(target, &dropped);
  }
  void trigger(int command) {  // the menu entry that carries `command`
    for (QAction* action : dialog.findChildren<QAction*>()) {
      if (action->data().toInt() == command) return action->trigger();
    }
    ADD_FAILURE() << "no menu command " << command;
  }

  MainDialog dialog;
};

// The controls in their order with their identifiers, texts and choices at start; the Tab order
// from the focus at start; the menu with its command numbers.
TEST_F(MainDialogTest, ControlsTabOrderAndMenu) {
  saveScreenshot(&dialog, "main-dialog.png");
  QWidget* client = byId(kAboutButton)->parentWidget();
  QStringList controls;
  for (QWidget* widget : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    controls << QStringLiteral("%1 %2 %3%4%5")
                    .arg(widget->metaObject()->className(),
                         widget->property(kControlIdProperty).toString(),
                         widget->property("text").toString(), widget->property("title").toString(),
                         widget->property("currentText").toString());
    EXPECT_TRUE(client->rect().contains(widget->geometry())) << controls.back().toStdString();
  }
  EXPECT_EQ(controls,
            (QStringList{"QPushButton 1000 &About", "QGroupBox  Files",
                         "QLabel  Input File:", "QLabel  Output File:", "QLineEdit 1001 ",
                         "QLineEdit 1002 ", "QGroupBox  Key Signature", "QGroupBox  Time Signature",
                         "QComboBox 1004 C Major", "QLabel 1005 Status:", "QComboBox 1007 4",
                         "QPushButton 1008 &Convert", "QGroupBox  Rhythm",
                         "koralux::WrappingCheckBox 1009 Check if rhythm unit was not used",
                         "QPushButton 1010 ...", "QPushButton 1011 ...", "QProgressBar 1015 0%",
                         "QComboBox 1012 4"}));

  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QStringList visited;
  for (int i = 0; i < 11; ++i, QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab)) {
    visited << QApplication::focusWidget()->property(kControlIdProperty).toString();
  }
  EXPECT_EQ(visited.join(" "), "1000 1001 1002 1004 1007 1008 1009 1010 1011 1012 1000");

  QStringList menus;  // each menu followed by its entries
  // (Qt's own overflow menu, made while the window is laid out, has an action without text.)
  for (const QAction* action : dialog.findChildren<QAction*>())
    if (!action->text().isEmpty())
      menus << (action->text() + " " + action->data().toString()).trimmed();
  EXPECT_EQ(
      menus.join(", "),
      "File, Open Evt File 32772, Convert File 32773, Convert &Disk Image... 32775, &Options, "
      "Include &XG Parts and Registrations 32774, Help, About 32771");
  EXPECT_FALSE(dialog.settings().xgParts);
}

// The ways to give each command that opens a window of its own, and the window: a refusal
// while a path is missing (spaces are text), the About box.
TEST_F(MainDialogTest, CommandsRefuseOrOpenTheirWindows) {
  const std::function<void()> convertCommands[] = {
      [&] { click(kConvertButton); }, [&] { trigger(kConvertFileCommand); },
      [&] { QTest::keyClick(byId(kConvertButton), Qt::Key_Return); },  // Enter presses it
  };
  // Which refusal when is ConvertCommand's; the view passes the fields' text as it stands.
  input()->setText("   ");
  byId(kConvertButton)->setFocus();
  for (const auto& command : convertCommands)
    EXPECT_EQ(windowsFrom(command), QStringList{"Warning: Please supply Output File!"});
  EXPECT_EQ(
      windowsFrom([&] { click(kAboutButton); }) + windowsFrom([&] { trigger(kAboutCommand); }),
      (QStringList{"koralux::AboutDialog", "koralux::AboutDialog"}));
  input()->setFocus();  // Enter anywhere but on a button ends the dialog
  QTest::keyClick(input(), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Through the dialog, twice, with settings other than the defaults: the bytes koralux-cli
// writes, and each status text and each step of the bar painted while the run goes on.
TEST_F(MainDialogTest, ConvertsAsTheCommandLineDoesShowingEachStepAsItGoes) {
  // A name with spaces and punctuation: paths reach the conversion whole.
  test::TemporaryFolder folder;
  const std::string in = folder.file("Organ Take 100% (2024) & more!.EVT");
  const test::Bytes performance =
      generatePerformance({.seed = 7, .seconds = 20, .channels = kXgChannels, .xg = true});
  test::writeFile(in, performance);
  // A failure: the conversion's own message in a critical box; the dialog stays, still usable.
  dialog.chooseInput(fromPath(in));
  output()->setText(fromPath(folder.file("no such folder/out.mid")));
  std::string reason;
  try {
    SilentObserver silent;
    ConversionRun(dialog.settings(), silent);
  } catch (const FatalStop& error) {
    reason = error.what();
  }
  EXPECT_EQ(windowsFrom([&] { click(kConvertButton); }),
            QStringList{"Critical: " + fromPath(reason)});
  // A file with findings is written, and one warning box lists them.
  const test::Bytes cutShort = test::performance("90 3C 64  F3 0A  FE 78  80 3C");
  test::writeFile(folder.file("cut.evt"), cutShort);
  dialog.chooseInput(fromPath(folder.file("cut.evt")));
  EXPECT_EQ(
      windowsFrom([&] { click(kConvertButton); }),
      QStringList{"Warning: " + QString::fromStdString(findingsMessage(
                                    folder.file("cut.evt"), test::analyse(cutShort).findings))});
  EXPECT_TRUE(std::filesystem::exists(folder.file("cut.mid")));

  dialog.chooseInput(fromPath(in));
  byId<QComboBox>(kKeyList)->setCurrentText("G Sharp Minor");
  byId<QComboBox>(kNumeratorList)->setCurrentText("6");
  byId<QComboBox>(kDenominatorList)->setCurrentText("8");
  click(kRhythmBox);
  trigger(kXgPartsCommand);
  ASSERT_TRUE(dialog.settings().xgParts);

  // What the run reports, and so what the dialog must show, step by step.
  test::RecordingObserver reports;
  const ConversionResult expected = convertPerformance(performance, dialog.settings(), reports);
  QStringList statuses, steps{"0"};
  std::int64_t done = 0;
  for (const std::string& call : reports.calls) {
    if (call.starts_with("status ")) statuses << QString::fromStdString(call.substr(7));
    if (call.starts_with("partDone ")) {  // a part moves the bar by one at least
      // (The bar stays full once full: a part without notes, such as the XG set-up, can
      // take the last step beyond the total.)
      done = std::min(done + std::max(std::stoi(call.substr(9)), 1), expected.summary.notesTotal);
      steps << QString::number(done);
    }
  }
  for (int run = 1; run <= 2; ++run) {
    QTest::qWait(20);  // paints still due from before
    const PaintLog status(byId(kStatusLine), "text");
    const PaintLog progress(bar(), "value");
    EXPECT_EQ(windowsFrom([&] { click(kConvertButton); }), QStringList{});
    EXPECT_EQ(status.painted, statuses) << "run " << run;
    EXPECT_EQ(progress.painted, steps) << "run " << run;
    EXPECT_EQ(bar()->maximum(), expected.summary.notesTotal);
  }

  ASSERT_EQ(
      QProcess::execute(KORALUX_CLI,
                        {fromPath(in), "-q", "-o", fromPath(folder.file("cli.mid")), "--key",
                         "G Sharp Minor", "--time", "6/8", "--rhythm-unit-absent", "--xg-parts"}),
      0);
  EXPECT_TRUE(test::sameBytes(test::readFile(folder.file("cli.mid")), test::readFile(in + ".mid")));
}

// A performance dropped on the dialog or a path field, as a file manager drags it (its address,
// and its path as text), or named as the program's first argument, is taken as the input.
TEST_F(MainDialogTest, DroppedOrNamedPerformanceIsTakenAsTheInput) {
  const std::tuple<QWidget*, QString, QString> drops[] = {
      {&dialog, "/floppy/MDR_00.EVT", "/floppy/MDR_00.EVT | /floppy/MDR_00.EVT.mid"},
      {output(), "/music/song.evt", "/music/song.evt | /music/song.mid"},
      {&dialog, "/music/notes.txt", "/music/song.evt | /music/song.mid"},  // refused
  };
  for (const auto& [target, path, after] : drops) {
    drop(target, path);
    EXPECT_EQ(fields(), after);
  }
  // Started with arguments; a conversion started by itself would never return from its box.
  const MainDialog started({"koralux", "/music/missing.evt", "/ignored/second.evt"});
  EXPECT_EQ(control<QLineEdit>(&started, kOutputField)->text(), "/music/missing.mid");
}

// Disk images, from File > Convert Disk Image... or dropped on the window: the image, then the
// folder for the image's folder (cancelled: nothing is written; by default the image's own);
// every song converted with the dialog's settings, the status line and the bar going song by
// song, then one box: the count, each damaged song with its reason, each doubtful one with its
// warnings. An image that cannot be read at all says why. Images are only read.
TEST_F(MainDialogTest, ConvertsEverySongOfADiskImage) {
  const test::SongDisk disk;
  test::TemporaryFolder out;
  const std::string good = disk.file("disk144.img");
  test::Bytes damaged = test::readFile(good);
  const int loop = test::firstCluster(good, "MDR_05.EVT") + 1;
  for (const int copy : {0, 1}) test::setFat(damaged, copy, loop + 2, loop);
  const std::size_t unread = test::sectorOf(test::firstCluster(good, "MDR_07.EVT") + 2);
  std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(unread * 512), 512, 0xF6);
  test::writeFile(out.file("damaged.img"), damaged);
  const auto written = std::filesystem::last_write_time(out.file("damaged.img"));
  test::writeFile(out.file("blank.ima"), test::Bytes(1000, 0));
  std::string unreadable;
  try {
    loadDisk(out.file("blank.ima"));
  } catch (const FatalStop& error) {
    unreadable = error.what();
  }

  const auto command = [&] { trigger(kConvertDiskImageCommand); };
  EXPECT_EQ(windowsFrom(command, {fromPath(good)}), (QStringList{"QFileDialog", "QFileDialog"}));
  byId<QComboBox>(kKeyList)->setCurrentText("E Major");
  trigger(kXgPartsCommand);
  QStringList statuses, steps{"0"};
  for (int slot = 0; slot < test::kDiskSongs; ++slot) {
    statuses << QStringLiteral("Status: %1 (%2 of 40)")
                    .arg(fromPath(test::slotName(slot, "EVT")))
                    .arg(slot + 1);
    steps << QString::number(slot + 1);
  }
  QTest::qWait(20);
  const PaintLog status(byId(kStatusLine), "text");
  const PaintLog progress(bar(), "value");
  EXPECT_EQ(
      windowsFrom(command, {fromPath(good), fromPath(out.path())}),
      (QStringList{"QFileDialog", "QFileDialog",
                   "Information: 40 songs converted into " + fromPath(out.file("disk144")) + "."}));
  EXPECT_EQ(status.painted, statuses << "Status: Finished");
  EXPECT_EQ(progress.painted, steps);
  // An image named as the input (as by `koralux disk1.img`) converts the same way at Convert.
  input()->setText(fromPath(good));
  EXPECT_EQ(windowsFrom([&] { click(kConvertButton); }, {fromPath(out.path())}),
            (QStringList{"QFileDialog", "Information: 40 songs converted into " +
                                            fromPath(out.file("disk144")) + "."}));

  const std::pair<std::string, QString> drops[] = {
      {"damaged.img",
       QStringLiteral("Warning: 39 of 40 songs converted into %1.\n\nNot converted:\nMDR_05.EVT: "
                      "damaged: the cluster chain loops back to cluster %2\n\nConverted with "
                      "warnings:\nMDR_07.EVT: sector %3 looks unread (all bytes F6)\nMDR_07.EVT: "
                      "the bytes from 1024 to 1535 look unread (all F6)")
           .arg(fromPath(out.file("damaged")))
           .arg(loop)
           .arg(unread)},
      {"blank.ima", "Critical: " + fromPath(unreadable)},
  };
  for (const auto& [name, box] : drops) {
    const auto dropped = [&] {
      drop(&dialog, fromPath(out.file(name)));
      QTest::qWait(50);  // the command runs once the drop has ended
    };
    EXPECT_EQ(windowsFrom(dropped, {""}), (QStringList{"QFileDialog", box}));
  }
  EXPECT_EQ(out.entries(),
            (std::vector<std::string>{"blank.ima", "damaged", "damaged.img", "disk144"}));
  EXPECT_TRUE(test::sameBytes(damaged, test::readFile(out.file("damaged.img"))));
  EXPECT_EQ(std::filesystem::last_write_time(out.file("damaged.img")), written);
  EXPECT_FALSE(std::filesystem::exists(out.file("damaged/MDR_05.EVT.mid")));
  EXPECT_TRUE(std::filesystem::exists(out.file("damaged/MDR_07.EVT.mid")));
  for (int slot = 0; slot < test::kDiskSongs; ++slot) {
    SilentObserver silent;
    const test::Bytes expected =
        convertPerformance(disk.songs()[static_cast<std::size_t>(slot)], dialog.settings(), silent)
            .midi;
    const std::string name = "/" + test::slotName(slot, "EVT") + ".mid";
    EXPECT_TRUE(test::sameBytes(expected, test::readFile(out.file("disk144") + name)));
    if (slot != 5 && slot != 7) {
      EXPECT_TRUE(test::sameBytes(expected, test::readFile(out.file("damaged") + name)));
    }
  }
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
