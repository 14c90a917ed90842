// The selected recorder's details shown in the window's labels.
//
// Threading: user-interface thread only.
#pragma once

#include "DeviceDetailsView.h"

class QLabel;

namespace monitor {

class LabelDeviceDetailsView final : public DeviceDetailsView
{
public:
    struct Labels
    {
        QLabel* LblUN;
        QLabel* LblID;
        QLabel* LblLoc;
        QLabel* LblDept;
        QLabel* LblCon;
        QLabel* LblConStart;
    };

    // The labels must outlive this view.
    explicit LabelDeviceDetailsView(const Labels& labels) : m_labels(labels) {}

    void showDetails(const DeviceDetails& details) override;

private:
    Labels m_labels;
};

} // namespace monitor
