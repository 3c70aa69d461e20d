#include "ui/qt/main_dialog.hpp"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
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
#include <vector>

#include "engine/key_signature_table.hpp"
#include "engine/output_name.hpp"
#include "ui/control_ids.hpp"
#include "ui/qt/about_dialog.hpp"
#include "ui/qt/dialog_units.hpp"
#include "ui/qt/display_name.hpp"
#include "ui/qt/program_pictures.hpp"
#include "ui/qt/wrapping_check_box.hpp"

namespace koralux {

namespace {

// Patterns are matched without regard to case, so the organ's floppy-disk names (MDR_00.EVT)
// show up too. On macOS the platform's own dialogs match that way; elsewhere Qt's dialog is used,
// because the native ones there match case-sensitively. (Windows has its own dialog program.)
#if defined(Q_OS_MACOS)
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

template <class Entries>
QComboBox* dropDownList(QWidget* parent, int id, const Entries& entries) {
  auto* list = new QComboBox(parent);
  setControlId(list, id);
  for (const std::string_view entry : entries) list->addItem(fromStd(entry));
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

// The first local file among the dragged ones that is a performance file or a disk image.
QString draggedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (isPerformanceFileName(path.toStdString()) || isDiskImageName(path.toStdString())) {
      return QDir::toNativeSeparators(path);
    }
  }
  return {};
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
  const auto select = [](QComboBox* list, std::string_view text) {
    list->setCurrentIndex(list->findText(fromStd(text), Qt::MatchStartsWith));
  };
  select(numeratorList_, kInitialNumerator);
  select(denominatorList_, kInitialDenominator);
  select(keyList_, kInitialKey);

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
  std::vector<std::string_view> keys;
  for (const KeySignatureRow& row : KeySignatureTable) keys.push_back(row.text);
  keyList_ = dropDownList(client, kKeyList, keys);
  placeList(keyList_, 13, 85, 85);
  statusLine_ = label(fromStd(kInitialStatus));
  setControlId(statusLine_, kStatusLine);
  place(statusLine_, 5, 113, 150, 8);
  // Single digits added in rising order: the list is sorted as it stands.
  numeratorList_ = dropDownList(client, kNumeratorList, kNumeratorEntries);
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
  denominatorList_ = dropDownList(client, kDenominatorList, kDenominatorEntries);
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
  entry(file, QStringLiteral("Convert &Disk Image..."), kConvertDiskImageCommand,
        &MainDialog::convertDiskImage);
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

DialogChoices MainDialog::choices() const {
  // Whole paths, however long; a list always holds a selection.
  return {.inputPath = pathFromField(inputField_),
          .outputPath = pathFromField(outputField_),
          .keyRow = std::max(keyList_->currentIndex(), 0),
          .numeratorRow = std::max(numeratorList_->currentIndex(), 0),
          .denominatorRow = std::max(denominatorList_->currentIndex(), 0),
          .rhythmUnitAbsent = rhythmBox_->isChecked(),
          .xgParts = xgPartsEntry_->isChecked()};
}

void MainDialog::convert() {
  const DialogChoices now = choices();
  // A disk image named as the input converts as File > Convert Disk Image... does.
  if (isDiskImageName(now.inputPath)) return convertDisk(inputField_->text());
  convertCommand_.run(now);
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

void MainDialog::convertDiskImage() {
  QStringList patterns;
  for (const std::string& pattern : diskImagePatterns()) patterns << fromStd(pattern);
  QFileDialog dialog(this, QString(), QString(),
                     QStringLiteral("Disk Images (") + patterns.join(' ') + QStringLiteral(");;") +
                         QLatin1String(kAllFilesFilter));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog, !kNativeFileDialogs);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  convertDisk(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void MainDialog::convertDisk(const QString& path) {
  const std::string image = QFile::encodeName(path).toStdString();
  QFileDialog dialog(this, fromStd(diskFolderQuestion(image)), QFileInfo(path).absolutePath());
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setOption(QFileDialog::DontUseNativeDialog, !kNativeFileDialogs);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  convertCommand_.runDisk(
      image, QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString(), choices());
}

void MainDialog::showAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainDialog::showStatus(std::string_view text) {
  statusLine_->setText(fromStd(text));
  statusLine_->repaint();
}

void MainDialog::showProgressRange(int maximum) {
  progressBar_->setRange(0, maximum);
}

void MainDialog::showProgress(int position) {
  progressBar_->setValue(position);
  progressBar_->repaint();
}

void MainDialog::refuse(std::string_view message) {
  QMessageBox::warning(this, displayName_, fromStd(message));
}

void MainDialog::reportFailure(std::string_view message) {
  QMessageBox::critical(this, displayName_, fromStd(message));
}

void MainDialog::warn(std::string_view message) {
  QMessageBox::warning(this, displayName_, fromStd(message));
}

void MainDialog::inform(std::string_view message) {
  QMessageBox::information(this, displayName_, fromStd(message));
}

void MainDialog::showBusy(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
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

bool MainDialog::acceptFileDrag(QDropEvent* event) {
  if (draggedFile(event->mimeData()).isEmpty()) return false;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  return true;
}

void MainDialog::takeDropped(const QMimeData* dropped) {
  const QString path = draggedFile(dropped);
  if (isPerformanceFileName(path.toStdString())) {
    chooseInput(path);
  } else {
    // After the drop has ended: the questions and the box are windows of their own.
    QMetaObject::invokeMethod(
        this, [this, path] { convertDisk(path); }, Qt::QueuedConnection);
  }
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (!acceptFileDrag(event)) event->ignore();
}

void MainDialog::dragMoveEvent(QDragMoveEvent* event) {
  if (!acceptFileDrag(event)) event->ignore();
}

void MainDialog::dropEvent(QDropEvent* event) {
  if (!acceptFileDrag(event)) {
    event->ignore();
    return;
  }
  takeDropped(event->mimeData());
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == inputField_ || watched == outputField_) {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
        // Other drags (text) are the field's own business.
        return acceptFileDrag(static_cast<QDropEvent*>(event));
      case QEvent::Drop:
        if (!acceptFileDrag(static_cast<QDropEvent*>(event))) return false;
        takeDropped(static_cast<QDropEvent*>(event)->mimeData());
        return true;
      default:
        break;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace koralux
