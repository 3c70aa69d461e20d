#include "ui/qt/about_dialog.hpp"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/control_ids.hpp"
#include "ui/qt/dialog_units.hpp"
#include "ui/qt/program_pictures.hpp"
#include "ui/version_info.hpp"

namespace koralux {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral(KORALUX_ABOUT_CAPTION));
  const DialogUnits units(font());
  setFixedSize(units.x(322), units.y(116));

  const auto label = [this](const QString& text, Qt::Alignment alignment) {
    auto* widget = new QLabel(text, this);
    widget->setAlignment(alignment | Qt::AlignVCenter);
    return widget;
  };
  label(QStringLiteral(KORALUX_CONTACT_EMAIL), Qt::AlignHCenter)
      ->setGeometry(units.rect(160, 20, 135, 8));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setProperty(kControlIdProperty, kAboutOkButton);
  ok->setDefault(true);
  ok->setGeometry(units.rect(260, 95, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  label(QStringLiteral(KORALUX_CONTACT_WEB), Qt::AlignHCenter)
      ->setGeometry(units.rect(160, 30, 135, 8));
  label(QStringLiteral(KORALUX_ABOUT_SENTENCE), Qt::AlignLeft)
      ->setGeometry(units.rect(25, 20, 140, 10));
  // The banner keeps its own size, centred in its place, which grows with the font.
  auto* banner = new QLabel(this);
  banner->setObjectName(QStringLiteral("banner"));
  banner->setPixmap(aboutBanner());
  QRect bannerArea(QPoint(), banner->pixmap().size());
  bannerArea.moveCenter(units.rect(5, 60, 308, 29).center());
  banner->setGeometry(bannerArea);
  auto* frame = new QGroupBox(QStringLiteral(KORALUX_ABOUT_VERSION), this);
  frame->setGeometry(units.rect(20, 10, 280, 45));
  // Behind the texts it frames.
  frame->lower();
}

}  // namespace koralux
