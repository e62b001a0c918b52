#include "ui/hvQuillonAbout.h"

#include <QLabel>

#include "ui/hvImages.h"

ThvFrmQuillonAbout* hvFrmQuillonAbout = nullptr;

ThvFrmQuillonAbout::ThvFrmQuillonAbout(QWidget* mainWindow, QWidget* parent)
    : ThvFrmAbout(mainWindow, parent) {
    setObjectName("hvFrmQuillonAbout");
    img->setGeometry(16, 16, 128, 128);
    img->setPixmap(ThvImageList::ProductPicture().pixmap(QSize(128, 128), devicePixelRatioF()));
}
