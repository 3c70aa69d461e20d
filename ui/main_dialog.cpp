#include "ui/main_dialog.hpp"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

#include "common/failure_message.hpp"
#include "engine/conversion_run.hpp"
#include "engine/key_signature_table.hpp"
#include "engine/output_name.hpp"
#include "ui/about_dialog.hpp"
#include "ui/control_ids.hpp"
#include "ui/dialog_units.hpp"
#include "ui/display_name.hpp"
#include "ui/program_pictures.hpp"
#include "ui/wrapping_check_box.hpp"

namespace koralux {

namespace {

const char kFailedStatus[] = "Status: Conversion failed";

// Patterns are matched without regard to case, so the organ's floppy-disk names (MDR_00.EVT)
// show up too. On Windows and macOS the platform's own dialogs match that way; elsewhere Qt's
// dialog is used, because the native ones there match case-sensitively.
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
const char kAllFilesFilter[] = "All Files (*.*)";
constexpr bool kNativeFileDialogs = true;
#else
// "*.*" would hide names without a dot.
const char kAllFilesFilter[] = "All Files (*)";
constexpr bool kNativeFileDialogs = false;
#endif

QString fromStd(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string pathFromField(const QLineEdit* field) {
  return QFile::encodeName(field->text()).toStdString();
}

QString derivedOutputNameOf(const QString& input) {
  return QString::fromStdString(derivedOutputName(input.toStdString()));
}

void setControlId(QWidget* widget, int id) {
  widget->setProperty(kControlIdProperty, id);
}

QComboBox* dropDownList(QWidget* parent, int id, const QStringList& entries) {
  auto* list = new QComboBox(parent);
  setControlId(list, id);
  list->addItems(entries);
  return list;
}

QPushButton* pushButton(QWidget* parent, int id, const QString& text) {
  auto* button = new QPushButton(text, parent);
  setControlId(button, id);
  // No button is the dialog's default: Enter presses the button that has the focus and
  // otherwise ends the dialog (keyPressEvent).
  button->setAutoDefault(false);
  return button;
}

// The first local file among the dragged ones that is a performance file.
QString draggedPerformance(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (isPerformanceFileName(path.toStdString())) {
      return QDir::toNativeSeparators(path);
    }
  }
  return {};
}

// The wait cursor, for as long as a conversion runs.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The bar counts in int; a total beyond that (not met in practice) is shown to scale.
constexpr std::int64_t kBarLimit = std::numeric_limits<int>::max();

int barPosition(std::int64_t notes, std::int64_t total) {
  if (total <= kBarLimit) return static_cast<int>(notes);
  return static_cast<int>(static_cast<double>(notes) / static_cast<double>(total) *
                          static_cast<double>(kBarLimit));
}

}  // namespace

MainDialog::MainDialog(const QStringList& arguments, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      displayName_(displayName()) {
  setWindowTitle(QStringLiteral("KORALUX"));
  setWindowIcon(programIcon());
  setAcceptDrops(true);

  const DialogUnits units(font());
  auto* client = new QWidget(this);
  client->setFixedSize(units.x(297), units.y(135));
  buildControls(client);

  // The menu bar sits above the client area, as a window's menu does.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(buildMenu());
  layout->addWidget(client);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // Select by prefix, the first entry that begins with the text.
  numeratorList_->setCurrentIndex(
      numeratorList_->findText(QStringLiteral("4"), Qt::MatchStartsWith));
  denominatorList_->setCurrentIndex(
      denominatorList_->findText(QStringLiteral("4"), Qt::MatchStartsWith));
  keyList_->setCurrentIndex(keyList_->findText(QStringLiteral("C Major"), Qt::MatchStartsWith));

  if (arguments.size() > 1) chooseInput(arguments.at(1));

  aboutButton_->setFocus();
}

void MainDialog::buildControls(QWidget* client) {
  const DialogUnits units(font());
  const auto place = [&](QWidget* widget, int x, int y, int width, int height) {
    widget->setGeometry(units.rect(x, y, width, height));
  };
  // A drop-down list's height in units includes the opened list; closed, it is as tall as the
  // style draws it.
  const auto placeList = [&](QComboBox* list, int x, int y, int width) {
    const QRect area = units.rect(x, y, width, 0);
    list->setGeometry(area.x(), area.y(), area.width(), list->sizeHint().height());
  };
  const auto label = [&](const QString& text) {
    auto* widget = new QLabel(text, client);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return widget;
  };

  // Created in this order, which is also the order the Tab key visits them in.
  aboutButton_ = pushButton(client, kAboutButton, QStringLiteral("&About"));
  place(aboutButton_, 240, 115, 50, 14);
  place(new QGroupBox(QStringLiteral("Files"), client), 5, 5, 285, 60);
  place(label(QStringLiteral("Input File:")), 15, 23, 40, 10);
  place(label(QStringLiteral("Output File:")), 15, 43, 40, 10);
  inputField_ = new QLineEdit(client);
  setControlId(inputField_, kInputField);
  place(inputField_, 60, 20, 200, 15);
  outputField_ = new QLineEdit(client);
  setControlId(outputField_, kOutputField);
  place(outputField_, 60, 40, 200, 15);
  place(new QGroupBox(QStringLiteral("Key Signature"), client), 5, 70, 100, 35);
  place(new QGroupBox(QStringLiteral("Time Signature"), client), 115, 70, 75, 35);
  QStringList keys;
  for (const KeySignatureRow& row : KeySignatureTable) keys << fromStd(row.text);
  keyList_ = dropDownList(client, kKeyList, keys);
  placeList(keyList_, 13, 85, 85);
  statusLine_ = label(QStringLiteral("Status:"));
  setControlId(statusLine_, kStatusLine);
  place(statusLine_, 5, 113, 150, 8);
  // Single digits added in rising order: the list is sorted as it stands.
  numeratorList_ = dropDownList(client, kNumeratorList, {"2", "3", "4", "5", "6"});
  placeList(numeratorList_, 120, 85, 29);
  convertButton_ = pushButton(client, kConvertButton, QStringLiteral("&Convert"));
  place(convertButton_, 180, 115, 50, 15);
  place(new QGroupBox(QStringLiteral("Rhythm"), client), 200, 70, 90, 35);
  rhythmBox_ = new WrappingCheckBox(QStringLiteral("Check if rhythm unit was not used"), client);
  setControlId(rhythmBox_, kRhythmBox);
  place(rhythmBox_, 205, 80, 75, 20);
  inputBrowseButton_ = pushButton(client, kInputBrowseButton, QStringLiteral("..."));
  place(inputBrowseButton_, 265, 20, 15, 15);
  outputBrowseButton_ = pushButton(client, kOutputBrowseButton, QStringLiteral("..."));
  place(outputBrowseButton_, 265, 40, 15, 15);
  progressBar_ = new QProgressBar(client);
  setControlId(progressBar_, kProgressBar);
  progressBar_->setTextVisible(false);
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  place(progressBar_, 5, 125, 155, 6);
  denominatorList_ = dropDownList(client, kDenominatorList, {"2", "3", "4", "5", "6", "7", "8"});
  placeList(denominatorList_, 155, 85, 29);

  connect(aboutButton_, &QPushButton::clicked, this, &MainDialog::showAbout);
  connect(convertButton_, &QPushButton::clicked, this, &MainDialog::convert);
  connect(inputBrowseButton_, &QPushButton::clicked, this, &MainDialog::browseForInput);
  connect(outputBrowseButton_, &QPushButton::clicked, this, &MainDialog::browseForOutput);

  // A performance dropped onto a path field is taken as the input too.
  inputField_->installEventFilter(this);
  outputField_->installEventFilter(this);
}

QMenuBar* MainDialog::buildMenu() {
  auto* menuBar = new QMenuBar(this);
  const auto entry = [this](QMenu* menu, const QString& text, int command, auto handler) {
    QAction* action = menu->addAction(text);
    action->setData(command);
    connect(action, &QAction::triggered, this, handler);
  };
  QMenu* file = menuBar->addMenu(QStringLiteral("File"));
  entry(file, QStringLiteral("Open Evt File"), kOpenEvtFileCommand, &MainDialog::browseForInput);
  entry(file, QStringLiteral("Convert File"), kConvertFileCommand, &MainDialog::convert);
  // Off at every start, as every other setting is.
  QMenu* options = menuBar->addMenu(QStringLiteral("&Options"));
  xgPartsEntry_ = options->addAction(QStringLiteral("Include &XG Parts and Registrations"));
  xgPartsEntry_->setData(kXgPartsCommand);
  xgPartsEntry_->setCheckable(true);
  QMenu* help = menuBar->addMenu(QStringLiteral("Help"));
  entry(help, QStringLiteral("About"), kAboutCommand, &MainDialog::showAbout);
  return menuBar;
}

void MainDialog::chooseInput(const QString& path) {
  inputField_->setText(path);
  outputField_->setText(derivedOutputNameOf(path));
}

ConversionSettings MainDialog::settings() const {
  ConversionSettings settings;
  // Whole paths, however long.
  settings.inputPath = pathFromField(inputField_);
  settings.outputPath = pathFromField(outputField_);
  settings.rhythmUnitAbsent = rhythmBox_->isChecked();
  settings.xgParts = xgPartsEntry_->isChecked();
  const KeySignatureRow& key =
      KeySignatureTable.at(static_cast<std::size_t>(std::max(keyList_->currentIndex(), 0)));
  settings.keySharpsFlats = key.sharpsFlats;
  settings.keyMinor = key.minor;
  // Both lists begin at "2" and rise by one.
  settings.timeNumerator = static_cast<std::uint8_t>(numeratorList_->currentIndex() + 2);
  settings.timeDenominator = static_cast<std::uint8_t>(denominatorList_->currentIndex() + 2);
  return settings;
}

void MainDialog::refuse(const QString& message) {
  QMessageBox::warning(this, displayName_, message);
}

void MainDialog::convert() {
  if (inputField_->text().isEmpty()) {
    refuse(QStringLiteral("Please supply Input File!"));
    return;
  }
  if (outputField_->text().isEmpty()) {
    refuse(QStringLiteral("Please supply Output File!"));
    return;
  }
  const ConversionSettings conversion = settings();
  std::optional<QString> failure;
  try {
    const WaitCursor waiting;
    ConversionRun(conversion, *this);
  } catch (...) {
    failure = QString::fromLocal8Bit(
        failureMessage(std::current_exception(), conversion.inputPath).c_str());
  }
  if (!failure) return;
  // The output path is as it was; the dialog stays, ready for another try.
  status(kFailedStatus);
  QMessageBox::critical(this, displayName_, *failure);
}

void MainDialog::browseForInput() {
  QFileDialog dialog(this, QString(), QString(),
                     QStringLiteral("EL Files (*.evt);;") + QLatin1String(kAllFilesFilter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A name that does not exist yet is accepted; the conversion will say so.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("evt"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, !kNativeFileDialogs);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  chooseInput(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void MainDialog::browseForOutput() {
  QFileDialog dialog(this, QString(), QString(),
                     QStringLiteral("MIDI Files (*.mid);;") + QLatin1String(kAllFilesFilter));
  // Qt's Save dialog asks before an existing file is chosen.
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("mid"));
  dialog.setOption(QFileDialog::DontUseNativeDialog, !kNativeFileDialogs);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  outputField_->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainDialog::status(std::string_view text) {
  statusLine_->setText(fromStd(text));
  statusLine_->repaint();
}

void MainDialog::progressBegin(std::int64_t total) {
  progressTotal_ = std::max<std::int64_t>(total, 0);
  progressDone_ = 0;
  // The whole note count, however large. A performance without notes gets a range of 1, since
  // an empty range would make the bar a busy indicator.
  progressBar_->setRange(0, std::max(barPosition(progressTotal_, progressTotal_), 1));
  progressBar_->setValue(0);
  progressBar_->repaint();
}

void MainDialog::partDone(std::int64_t count) {
  // Every part moves the bar, one without notes by one step. The bar stops when full.
  progressDone_ = std::min(progressDone_ + std::max<std::int64_t>(count, 1), progressTotal_);
  progressBar_->setValue(barPosition(progressDone_, progressTotal_));
  progressBar_->repaint();
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    // Enter presses the push button that has the focus; anywhere else it ends the dialog.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      accept();
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

bool MainDialog::acceptPerformanceDrag(QDropEvent* event) {
  if (draggedPerformance(event->mimeData()).isEmpty()) return false;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return true;
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (!acceptPerformanceDrag(event)) event->ignore();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (!acceptPerformanceDrag(event)) event->ignore();
}

void MainDialog::dropEvent(QDropEvent* event) {
  const QString path = draggedPerformance(event->mimeData());
  if (path.isEmpty()) {
    event->ignore();
    return;
  }
  acceptPerformanceDrag(event);
  chooseInput(path);
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == inputField_ || watched == outputField_) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
        // Other drags (text) are the field's own business.
        return acceptPerformanceDrag(static_cast<QDropEvent*>(event));
      case QEvent::Drop:
        if (!acceptPerformanceDrag(static_cast<QDropEvent*>(event))) return false;
        chooseInput(draggedPerformance(static_cast<QDropEvent*>(event)->mimeData()));
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace koralux
