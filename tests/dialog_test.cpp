// The desktop program as a user meets it, run under Qt's offscreen platform: the real dialog on
// real files, message boxes and file dialogs answered from the test, koralux-cli as the yardstick.

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "common/fatal_stop.hpp"
#include "engine/conversion_run.hpp"
#include "tests/test_support.hpp"
#include "tools/performance_generator.hpp"
#include "ui/about_dialog.hpp"
#include "ui/control_ids.hpp"
#include "ui/converter_app.hpp"
#include "ui/main_dialog.hpp"

// Readable strings in failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

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

void trigger(const QWidget* root, int command) {
  for (QAction* action : root->findChildren<QAction*>()) {
    if (action->data().toInt() == command) return action->trigger();
  }
  ADD_FAILURE() << "no menu command " << command;
}

// Runs `action`; a timer hands every modal window of type Window that it opens to `handle`,
// which must close it. Any other modal window is a failure and is closed.
template <class Window>
void whileOpening(const std::function<void()>& action, const std::function<void(Window*)>& handle) {
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* window = qobject_cast<Window*>(modal)) {
      timer.stop();  // `handle` may wait, and so let this timer fire again
      handle(window);
      timer.start();
    } else {
      ADD_FAILURE() << "unexpected window: " << modal->windowTitle().toStdString();
      modal->close();
    }
  });
  timer.start(5);
  action();
}

// The message boxes that `action` shows, as "caption [icon] text", each answered with its first
// button.
QStringList messagesFrom(const std::function<void()>& action) {
  QStringList seen;
  whileOpening<QMessageBox>(action, [&](QMessageBox* box) {
    seen << QStringLiteral("%1 [%2] %3").arg(box->windowTitle()).arg(box->icon()).arg(box->text());
    box->buttons().constFirst()->click();
  });
  return seen;
}

// The dialog's message boxes have this test program's name as their caption.
QStringList shown(QMessageBox::Icon icon, const QString& text) {
  return {QStringLiteral("dialog_test [%1] %2").arg(icon).arg(text)};
}

// What a widget showed, as `shows` tells it, each time it was painted; repeats left out.
struct PaintLog final : QObject {
  PaintLog(QWidget* widget, std::function<QString()> describe) : shows(std::move(describe)) {
    widget->installEventFilter(this);
  }
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && (painted.isEmpty() || painted.back() != shows())) {
      painted << shows();
    }
    return false;
  }
  std::function<QString()> shows;
  QStringList painted;
};

// Pictures of the windows for anyone to look at: build/screenshots/NAME.
void saveScreenshot(QWidget* window, const QString& name) {
  const QDir folder(QStringLiteral(KORALUX_SCREENSHOTS));
  ASSERT_TRUE(folder.mkpath("."));
  ASSERT_TRUE(window->grab().save(folder.filePath(name)));
  EXPECT_EQ(QImage(folder.filePath(name)).size(), window->size() * window->devicePixelRatio());
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
    return control<Widget>(&dialog, id);
  }
  QLineEdit* input() { return byId<QLineEdit>(kInputField); }
  QLineEdit* output() { return byId<QLineEdit>(kOutputField); }
  QLabel* statusLine() { return byId<QLabel>(kStatusLine); }
  QProgressBar* bar() { return byId<QProgressBar>(kProgressBar); }
  QString fields() { return input()->text() + " | " + output()->text(); }
  void click(int id) { QTest::mouseClick(byId(id), Qt::LeftButton); }
  QStringList convert() {
    return messagesFrom([this] { click(kConvertButton); });
  }

  MainDialog dialog;
};

TEST_F(MainDialogTest, StartsEmptyWithTheDefaults) {
  EXPECT_EQ(dialog.windowTitle(), "KORALUX");
  EXPECT_EQ(input()->text() + output()->text(), "");
  EXPECT_EQ(byId<QComboBox>(kNumeratorList)->currentText(), "4");
  EXPECT_EQ(byId<QComboBox>(kDenominatorList)->currentText(), "4");
  EXPECT_EQ(byId<QComboBox>(kKeyList)->currentText(), "C Major");
  EXPECT_FALSE(byId<QCheckBox>(kRhythmBox)->isChecked());
  EXPECT_EQ(statusLine()->text(), "Status:");
  EXPECT_EQ(bar()->value(), 0);
  saveScreenshot(&dialog, "main-dialog.png");
  // A fixed size, a minimise button and no maximise button; the icon at 16 and 32 pixels.
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
  EXPECT_EQ(dialog.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint),
            Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(dialog.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
}

// The controls in their order with their texts, the Tab order from the focus at start, the menu.
TEST_F(MainDialogTest, ControlsTabOrderAndMenu) {
  QWidget* client = byId(kAboutButton)->parentWidget();
  QStringList controls;
  for (QWidget* widget : client->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    const QMetaObject* kind = widget->metaObject();
    while (!QByteArray(kind->className()).startsWith('Q')) kind = kind->superClass();
    const QString text = widget->property("text").toString() + widget->property("title").toString();
    const int id = widget->property(kControlIdProperty).toInt();
    controls << QStringLiteral("%1 %2 %3").arg(kind->className()).arg(id).arg(text);
    EXPECT_TRUE(client->rect().contains(widget->geometry())) << controls.back().toStdString();
  }
  EXPECT_EQ(controls,
            (QStringList{"QPushButton 1000 &About", "QGroupBox 0 Files", "QLabel 0 Input File:",
                         "QLabel 0 Output File:", "QLineEdit 1001 ", "QLineEdit 1002 ",
                         "QGroupBox 0 Key Signature", "QGroupBox 0 Time Signature",
                         "QComboBox 1004 ", "QLabel 1005 Status:", "QComboBox 1007 ",
                         "QPushButton 1008 &Convert", "QGroupBox 0 Rhythm",
                         "QCheckBox 1009 Check if rhythm unit was not used", "QPushButton 1010 ...",
                         "QPushButton 1011 ...", "QProgressBar 1015 0%", "QComboBox 1012 "}));

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

  QStringList menus;
  for (const QAction* menu : dialog.findChild<QMenuBar*>()->actions()) {
    menus << menu->text();
    for (const QAction* entry : menu->menu()->actions()) {
      menus << entry->text() + " " + entry->data().toString();
    }
  }
  EXPECT_EQ(menus, (QStringList{"File", "Open Evt File 32772", "Convert File 32773", "Help",
                                "About 32771"}));
}

TEST_F(MainDialogTest, ListsAndCheckBoxFillTheSettings) {
  // Text, sharps (positive) or flats (negative), minor.
  const std::tuple<const char*, int, int> keys[] = {
      {"C Major", 0, 0},       {"D Flat Major", -5, 0}, {"D Major", 2, 0},
      {"E Flat Major", -3, 0}, {"E Major", 4, 0},       {"F Major", -1, 0},
      {"F Sharp Major", 6, 0}, {"G Major", 1, 0},       {"A Flat Major", -4, 0},
      {"A Major", 3, 0},       {"B Flat Major", -2, 0}, {"B Major", 5, 0},
      {"A Minor", 0, 1},       {"B Flat Minor", -5, 1}, {"B Minor", 2, 1},
      {"C Minor", -3, 1},      {"C Sharp Minor", 4, 1}, {"D Minor", -1, 1},
      {"D Sharp Minor", 6, 1}, {"E Minor", 1, 1},       {"F Minor", -4, 1},
      {"F Sharp Minor", 3, 1}, {"G Minor", -2, 1},      {"G Sharp Minor", 5, 1}};
  auto* keyList = byId<QComboBox>(kKeyList);
  ASSERT_EQ(keyList->count(), 24);
  for (int i = 0; i < 24; ++i) {
    const auto& [text, sharpsFlats, minor] = keys[i];
    keyList->setCurrentIndex(i);
    EXPECT_EQ(keyList->currentText(), text);
    EXPECT_EQ(dialog.settings().keySharpsFlats, sharpsFlats) << text;
    EXPECT_EQ(dialog.settings().keyMinor, minor) << text;
  }

  // The time lists run from 2 to 6 and to 8; each entry gives its own number.
  EXPECT_FALSE(keyList->isEditable());
  for (const auto& [id, count] : {std::pair{kNumeratorList, 5}, std::pair{kDenominatorList, 7}}) {
    auto* list = byId<QComboBox>(id);
    ASSERT_EQ(list->count(), count);
    for (int i = 0; i < count; ++i) {
      list->setCurrentIndex(i);
      const ConversionSettings settings = dialog.settings();
      EXPECT_EQ(list->currentText(), QString::number(i + 2));
      EXPECT_EQ(id == kNumeratorList ? settings.timeNumerator : settings.timeDenominator, i + 2);
    }
  }

  // The rhythm box takes a click on its caption's second line too.
  auto* rhythm = byId<QCheckBox>(kRhythmBox);
  QTest::mouseClick(rhythm, Qt::LeftButton, {}, QPoint(rhythm->width() / 2, rhythm->height() - 3));
  EXPECT_TRUE(dialog.settings().rhythmUnitAbsent);
}

TEST(MainDialogArguments, FirstArgumentFillsInputAndDerivedOutputAndConvertsNothing) {
  // Only a lower-case ".evt" gives way to ".mid"; anything else keeps its name and gains ".mid".
  const std::pair<QString, QString> cases[] = {
      {"/music/song.evt", "/music/song.mid"},
      {"/floppy/MDR_00.EVT", "/floppy/MDR_00.EVT.mid"},
      {"/music/take", "/music/take.mid"},
      {"/music/twice.evt.evt", "/music/twice.evt.mid"},
      {"/music.evt/My Song 100% (live) & more!.evt", "/music.evt/My Song 100% (live) & more!.mid"},
      {"song.Evt", "song.Evt.mid"},
  };
  for (const auto& [argument, derived] : cases) {
    const MainDialog dialog({"koralux", argument, "/ignored/second.evt"});
    EXPECT_EQ(control<QLineEdit>(&dialog, kInputField)->text(), argument);
    EXPECT_EQ(control<QLineEdit>(&dialog, kOutputField)->text(), derived);
  }

  // A real performance as the argument: nothing is converted until the user says so.
  test::TemporaryFolder folder;
  test::writeFile(folder.file("song.evt"), test::performance("90 3C 64  FE 78  80 3C 40"));
  MainDialog dialog({"koralux", fromPath(folder.file("song.evt"))});
  dialog.show();
  QTest::qWait(100);
  EXPECT_EQ(folder.entries(), std::vector<std::string>{"song.evt"});
}

TEST_F(MainDialogTest, RefusesToConvertWithoutBothPaths) {
  const auto fromMenu = [&] {
    return messagesFrom([&] { trigger(&dialog, kConvertFileCommand); });
  };
  EXPECT_EQ(convert(),
            shown(QMessageBox::Warning, "Please supply Input File!"));  // both empty: one box
  output()->setText("out.mid");
  EXPECT_EQ(fromMenu(), shown(QMessageBox::Warning, "Please supply Input File!"));
  output()->clear();
  input()->setText("   ");  // spaces are text
  EXPECT_EQ(convert(), shown(QMessageBox::Warning, "Please supply Output File!"));
  EXPECT_EQ(fromMenu(), shown(QMessageBox::Warning, "Please supply Output File!"));

  // Enter presses the button that has the focus; anywhere else it ends the dialog.
  byId(kConvertButton)->setFocus();
  EXPECT_EQ(messagesFrom([&] { QTest::keyClick(byId(kConvertButton), Qt::Key_Return); }),
            shown(QMessageBox::Warning, "Please supply Output File!"));
  input()->setFocus();
  QTest::keyClick(input(), Qt::Key_Return);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Through the dialog, twice, with settings other than the defaults.
TEST_F(MainDialogTest, ConvertsAsTheCommandLineDoesShowingEachStepAsItGoes) {
  // A long folder name with spaces and punctuation: paths reach the conversion whole.
  test::TemporaryFolder folder;
  const auto deep = folder.path() / std::string(100, 'd') / "Organ Takes 100% (2024)";
  std::filesystem::create_directories(deep);
  const std::string in = (deep / "MDR_00.EVT").string();
  const test::Bytes performance = generatePerformance({.seed = 7, .seconds = 20});
  test::writeFile(in, performance);
  dialog.chooseInput(fromPath(in));
  byId<QComboBox>(kKeyList)->setCurrentText("G Sharp Minor");
  byId<QComboBox>(kNumeratorList)->setCurrentText("6");
  byId<QComboBox>(kDenominatorList)->setCurrentText("8");
  click(kRhythmBox);

  // What the run reports, and so what the dialog must show, step by step.
  test::RecordingObserver reports;
  const ConversionResult expected = convertPerformance(performance, dialog.settings(), reports);
  const auto step = [&](std::int64_t done) {
    return QStringLiteral("%1 of %2").arg(done).arg(expected.summary.notesTotal);
  };
  QStringList statuses;
  QStringList steps{step(0)};
  std::int64_t done = 0;
  for (const std::string& call : reports.calls) {
    if (call.starts_with("status ")) statuses << QString::fromStdString(call.substr(7));
    if (call.starts_with("partDone ")) {
      steps << step(done += std::max(std::stoi(call.substr(9)), 1));  // a part moves it at least 1
    }
  }
  ASSERT_GE(statuses.size(), 4) << "the performance should have several parts";

  const auto barShows = [&] {
    return QStringLiteral("%1 of %2").arg(bar()->value()).arg(bar()->maximum());
  };
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    QTest::qWait(20);  // paints still due from before
    // Painted while the run goes on, each text and each step, not only the end.
    const PaintLog status(statusLine(), [&] { return statusLine()->text(); });
    const PaintLog progress(bar(), barShows);
    EXPECT_EQ(convert(), QStringList{});
    EXPECT_EQ(status.painted, statuses);
    EXPECT_EQ(progress.painted, steps);
    EXPECT_EQ(statusLine()->text(), "Status: Finished");
    EXPECT_EQ(barShows(), step(expected.summary.notesTranscribed));
  }
  saveScreenshot(&dialog, "main-dialog-converted.png");

  QProcess cli;
  cli.start(QStringLiteral(KORALUX_CLI),
            {fromPath(in), "-q", "-o", fromPath((deep / "cli.mid").string()), "--key",
             "G Sharp Minor", "--time", "6/8", "--rhythm-unit-absent"});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0);
  EXPECT_TRUE(
      test::sameBytes(test::readFile((deep / "cli.mid").string()), test::readFile(in + ".mid")));
}

TEST_F(MainDialogTest, ProgressRangeIsTheWholeNoteCount) {
  // The note count, the notes of each part done, and the bar's value at the start and after each.
  const std::tuple<std::int64_t, std::vector<std::int64_t>, std::vector<int>> runs[] = {
      {70000, {30000, 40000, 5}, {0, 30000, 70000, 70000}},  // fills once, and full stays full
      {10, {0, -3}, {0, 1, 2}},                              // a part without notes moves it too
      {0, {}, {0}},  // no notes: an empty bar, not a busy indicator (whose range is empty)
  };
  for (const auto& [total, parts, values] : runs) {
    dialog.progressBegin(total);
    std::vector<int> seen{bar()->value()};
    for (const std::int64_t part : parts) {
      dialog.partDone(part);
      seen.push_back(bar()->value());
    }
    EXPECT_EQ(seen, values);
    EXPECT_EQ(bar()->maximum(), std::max<std::int64_t>(total, 1));
  }
}

TEST_F(MainDialogTest, FailedConversionIsShownAndTheDialogStays) {
  test::TemporaryFolder folder;
  const test::Bytes song = test::performance("90 3C 64  F3 0A  FE 78  80 3C 40  FE 7A  FE 78");
  test::writeFile(folder.file("song.evt"), song);
  test::writeFile(folder.file("broken.evt"), test::performance("90 3C 64 F0 01 02"));
  const std::pair<std::string, std::string> failures[] = {
      {folder.file("missing.evt"), folder.file("missing.mid")},
      {folder.file("broken.evt"), folder.file("broken.mid")},
      {folder.file("song.evt"), folder.file("no such folder/song.mid")},
      {folder.file("song.evt"), folder.file("song.evt")},
  };
  for (const auto& [in, out] : failures) {
    SCOPED_TRACE(in + " -> " + out);
    input()->setText(fromPath(in));
    output()->setText(fromPath(out));
    std::string reason;  // the conversion's own message
    try {
      SilentObserver silent;
      ConversionRun(dialog.settings(), silent);
    } catch (const FatalStop& error) {
      reason = error.what();
    }
    EXPECT_EQ(convert(), shown(QMessageBox::Critical, fromPath(reason)));
    EXPECT_EQ(statusLine()->text(), "Status: Conversion failed");
    EXPECT_TRUE(dialog.isVisible());
  }
  // Still usable; nothing was left behind, and the input that was named as output is whole.
  dialog.chooseInput(fromPath(folder.file("song.evt")));
  EXPECT_EQ(convert(), QStringList{});
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"broken.evt", "song.evt", "song.mid"}));
  EXPECT_EQ(test::readFile(folder.file("song.evt")), song);
}

TEST_F(MainDialogTest, AboutBoxFromTheButtonAndTheMenu) {
  const std::pair<std::function<void()>, Qt::Key> ways[] = {
      {[&] { click(kAboutButton); }, Qt::Key_Return},  // Enter presses the default OK
      {[&] { trigger(&dialog, kAboutCommand); }, Qt::Key_Escape},
  };
  for (const auto& [open, closingKey] : ways) {
    QStringList texts;
    whileOpening<AboutDialog>(open, [&](AboutDialog* about) {
      texts << about->windowTitle() << about->findChild<QGroupBox*>()->title();
      for (const QLabel* label : about->findChildren<QLabel*>()) texts << label->text();
      const QSize banner = about->findChild<QLabel*>("banner")->pixmap().size();
      texts << QStringLiteral("banner %1 x %2").arg(banner.width()).arg(banner.height());
      auto* ok = control<QPushButton>(about, kAboutOkButton);
      EXPECT_TRUE(ok->isDefault() && ok->text() == "OK");
      if (closingKey == Qt::Key_Return) saveScreenshot(about, "about-box.png");
      QTest::keyClick(about, closingKey);
    });
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"", "About KORALUX", "If this program works it was written by:",
                                  "KORALUX Version 2.00.01", "banner 462 x 47",
                                  "https://koralux.org/", "koralux@koralux.org"}));
  }
}

// The file dialogs, answered from the test.
TEST_F(MainDialogTest, FileDialogsShowPerformancesInEitherCaseAndFillTheFields) {
  test::TemporaryFolder folder;
  for (const char* name : {"song.evt", "MDR_00.EVT", "notes.txt"}) {
    test::writeFile(folder.file(name), {1});
  }
  QStringList offered;  // each file dialog's mode, default extension and filters
  QStringList listed;   // the names the first one shows in `folder`
  // Answers a file dialog: types `name` into its file name field and confirms.
  const auto choose = [&](const QString& name) {
    return [&, name](QFileDialog* files) {
      offered << QStringLiteral("%1 %2 %3")
                     .arg(files->acceptMode() == QFileDialog::AcceptOpen ? "open" : "save")
                     .arg(files->defaultSuffix(), files->nameFilters().join(";"));
      files->setDirectory(fromPath(folder.path().string()));
      const auto* view = files->findChild<QListView*>("listView");
      const auto names = [&] {
        listed.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row) {
          listed << view->model()->index(row, 0, root).data().toString();
        }
        return listed.size();
      };
      if (offered.size() == 1) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return names() >= 2; }, 5000));
        QTest::qWait(50);  // and no more come
        names();
      }
      files->findChild<QLineEdit*>("fileNameEdit")->setText(name);
      static_cast<QDialog*>(files)->accept();
    };
  };
  whileOpening<QFileDialog>([&] { click(kInputBrowseButton); }, choose("MDR_00.EVT"));
  listed.sort();
  EXPECT_EQ(listed, (QStringList{"MDR_00.EVT", "song.evt"}));
  EXPECT_EQ(fields(), fromPath(folder.file("MDR_00.EVT") + " | " + folder.file("MDR_00.EVT.mid")));
  // The Save dialog fills only the output field.
  whileOpening<QFileDialog>([&] { click(kOutputBrowseButton); }, choose("take"));
  EXPECT_EQ(fields(), fromPath(folder.file("MDR_00.EVT") + " | " + folder.file("take.mid")));
  EXPECT_EQ(offered, (QStringList{"open evt EL Files (*.evt);All Files (*)",
                                  "save mid MIDI Files (*.mid);All Files (*)"}));
}

TEST_F(MainDialogTest, DroppedPerformanceIsTakenAsTheInput) {
  // As a file manager drags a file: its address, and its path as text.
  const auto drop = [](QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
  };
  output()->setText("typed.mid");
  EXPECT_TRUE(drop(&dialog, "/floppy/MDR_00.EVT"));
  EXPECT_EQ(fields(), "/floppy/MDR_00.EVT | /floppy/MDR_00.EVT.mid");
  EXPECT_TRUE(drop(output(), "/music/song.evt"));
  EXPECT_EQ(fields(), "/music/song.evt | /music/song.mid");
  EXPECT_FALSE(drop(&dialog, "/music/notes.txt"));
  EXPECT_EQ(fields(), "/music/song.evt | /music/song.mid");
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
