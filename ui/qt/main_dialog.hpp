#pragma once
// The program's working window. The user names the performance file to read and the MIDI file
// to write, picks the key and time signatures the output carries, says whether the organ's rhythm
// unit was left unused, and converts. What the commands do is ConvertCommand's; this class draws
// it with Qt: its status line shows each status text and its progress bar counts the notes of the
// parts written.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <string_view>

#include "engine/conversion_settings.hpp"
#include "ui/convert_command.hpp"

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

class MainDialog final : public QDialog, private DialogView {
  Q_OBJECT

 public:
  // `arguments` as the program received them, its own name first. A second argument names the
  // input file and fills in the output name; no conversion starts by itself.
  explicit MainDialog(const QStringList& arguments = {}, QWidget* parent = nullptr);

  // Commands.
  void convert();           // "&Convert", File > "Convert File"
  void browseForInput();    // "..." beside the input field, File > "Open Evt File"
  void browseForOutput();   // "..." beside the output field
  void showAbout();         // "&About", Help > "About", the window menu's "&About KORALUX..."
  void convertDiskImage();  // File > "Convert &Disk Image..."
  // Asks where the folder of the songs of the image at `path` goes (beside the image unless the
  // user chooses another folder), then converts every song into it. Also what dropping an image
  // on the window does.
  void convertDisk(const QString& path);
  // What choosing `path` in the Open dialog does: the input field shows it and the output field
  // the name derived from it, whatever it held before.
  void chooseInput(const QString& path);

  // What the user has chosen now, and the settings a conversion would run with.
  DialogChoices choices() const;
  ConversionSettings settings() const { return settingsFrom(choices()); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls(QWidget* client);
  QMenuBar* buildMenu();
  // DialogView. Each call repaints what it changed at once.
  void showStatus(std::string_view text) override;
  void showProgressRange(int maximum) override;
  void showProgress(int position) override;
  void refuse(std::string_view message) override;
  void reportFailure(std::string_view message) override;
  void warn(std::string_view message) override;
  void inform(std::string_view message) override;
  void showBusy(bool busy) override;
  // Whether a drag or drop event carries a performance file or a disk image; accepts it when it
  // does.
  bool acceptFileDrag(QDropEvent* event);
  // Takes a dropped performance as the input; converts a dropped disk image.
  void takeDropped(const QMimeData* dropped);

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

  ConvertCommand convertCommand_{*this};
};

}  // namespace koralux
