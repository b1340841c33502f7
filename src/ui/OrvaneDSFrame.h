// A captioned grid: a caption strip above a TReDBGrid. The company and
// payroll selection panels are built from these.
#pragma once

#include <QWidget>

class QLabel;
class TReDBGrid;

class TOrvaneDsFrm : public QWidget {
    Q_OBJECT
public:
    // The caption reads "Dataset name" until the owner sets its own.
    explicit TOrvaneDsFrm(QWidget* parent = nullptr);

    QString Caption() const;
    void SetCaption(const QString& caption);

    QLabel* CaptionLabel;
    TReDBGrid* Grid;
};
