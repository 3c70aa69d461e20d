#pragma once
// The program's working window. The user names the performance file to read and the MIDI file
// to write, picks the key and time signatures the output carries, says whether the organ's rhythm
// unit was left unused, and converts. The dialog is the conversion's observer: its status line
// shows each status text and its progress bar counts the notes of the parts written.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <string_view>

#include "engine/conversion_observer.hpp"
#include "engine/conversion_settings.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QAction;
class QMenuBar;
class QMimeData;
class QProgressBar;
class QPushButton;

namespace koralux {

class MainDialog final : public QDialog, public ConversionObserver {
  Q_OBJECT

 public:
  // `arguments` as the program received them, its own name first. A second argument names the
  // input file and fills in the output name; no conversion starts by itself.
  explicit MainDialog(const QStringList& arguments = {}, QWidget* parent = nullptr);

  // Commands.
  void convert();          // "&Convert", File > "Convert File"
  void browseForInput();   // "..." beside the input field, File > "Open Evt File"
  void browseForOutput();  // "..." beside the output field
  void showAbout();        // "&About", Help > "About", the window menu's "&About KORALUX..."
  // What choosing `path` in the Open dialog does: the input field shows it and the output field
  // the name derived from it, whatever it held before.
  void chooseInput(const QString& path);

  // The settings a conversion would run with now.
  ConversionSettings settings() const;

  // ConversionObserver. Each call repaints what it changed at once: the conversion runs on this
  // thread and the window gets no other chance to paint until it has finished.
  void status(std::string_view text) override;
  void progressBegin(std::int64_t total) override;
  void partDone(std::int64_t count) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
  // The window menu's "&About KORALUX..." entry: main_dialog_windows.cpp.
  void showEvent(QShowEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

 private:
  void buildControls(QWidget* client);
  QMenuBar* buildMenu();
  void refuse(const QString& message);
  // Whether a drag or drop event carries a performance file; accepts it when it does.
  bool acceptPerformanceDrag(QDropEvent* event);
#ifdef Q_OS_WIN
  void extendSystemMenu();
  bool systemMenuExtended_ = false;
#endif

  QString displayName_;
  QPushButton* aboutButton_ = nullptr;
  QLineEdit* inputField_ = nullptr;
  QLineEdit* outputField_ = nullptr;
  QComboBox* keyList_ = nullptr;
  QLabel* statusLine_ = nullptr;
  QComboBox* numeratorList_ = nullptr;
  QPushButton* convertButton_ = nullptr;
  QCheckBox* rhythmBox_ = nullptr;
  QPushButton* inputBrowseButton_ = nullptr;
  QPushButton* outputBrowseButton_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QComboBox* denominatorList_ = nullptr;
  QAction* xgPartsEntry_ = nullptr;  // Options > Include XG Parts and Registrations

  // The run's note count and the notes its parts have taken so far.
  std::int64_t progressTotal_ = 0;
  std::int64_t progressDone_ = 0;
};

}  // namespace koralux
