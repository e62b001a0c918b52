#pragma once

#include "ui/hvFormAbout.h"

/// The product's about box: the about box with the product picture, 128 x 128 at 16, 16.
class ThvFrmQuillonAbout : public ThvFrmAbout {
  public:
    explicit ThvFrmQuillonAbout(QWidget* mainWindow = nullptr, QWidget* parent = nullptr);
};

extern ThvFrmQuillonAbout* hvFrmQuillonAbout;
