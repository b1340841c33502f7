#include "ui/OrvaneDSFrame.h"

#include "ui/dbcomp.h"

#include <QLabel>
#include <QVBoxLayout>

TOrvaneDsFrm::TOrvaneDsFrm(QWidget* parent)
    : QWidget(parent), CaptionLabel(new QLabel(QStringLiteral("Dataset name"), this)),
      Grid(new TReDBGrid(this)) {
    CaptionLabel->setMinimumHeight(25);
    CaptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    CaptionLabel->setIndent(4);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(CaptionLabel);
    layout->addWidget(Grid, 1);
}

QString TOrvaneDsFrm::Caption() const {
    return CaptionLabel->text();
}

void TOrvaneDsFrm::SetCaption(const QString& caption) {
    CaptionLabel->setText(caption);
}
