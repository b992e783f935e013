// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the speed label, the G-sensor chart and the vehicle-signal indicators.
#include "controls/controlid.h"
#include "res/strings.h"
#include "viewer/mainwindow.h"
#include "viewer/signalview.h"
#include "viewer/skinctl.h"

#include <QLabel>
#include <QPalette>
#include <algorithm>

namespace {

struct SignalLabel {
    int id;
    int stringId;
    QRect place;
};
const SignalLabel kSignalLabels[] = {
    {795, 1175, {27, 511, 115, 25}},  {796, 1176, {142, 511, 115, 25}}, {797, 1177, {257, 511, 211, 25}},
    {798, 1178, {468, 511, 120, 25}}, {799, 1179, {588, 511, 120, 25}}, {800, 1180, {708, 511, 120, 25}},
    {801, 1181, {828, 511, 120, 25}},
};

struct SignalNumber {
    int id;
    const char* key;
    QRect place;
};
const SignalNumber kSignalNumbers[] = {
    {IDC_SIG_SPD, "spd", {486, 555, 60, 35}},
    {IDC_SIG_RPM, "rpm", {623, 555, 60, 35}},
    {IDC_SIG_WAT, "wat", {743, 555, 60, 35}},
    {IDC_SIG_STEER, "steer_angle", {848, 555, 82, 35}},
};

void SetTextColour(QWidget* w, QColor colour)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

}  // namespace

void CSamplePlayerDlg::InitTelemetryDisplay()
{
    for (const SignalLabel& l : kSignalLabels) {
        auto* label = new QLabel(LocalizedString(l.stringId), this);
        SetControlId(label, l.id);
        label->setFont(m_smallFont);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(l.place);
        SetTextColour(label, Qt::white);
        label->show();
    }
    for (const SignalNumber& n : kSignalNumbers) {
        auto* label = new QLabel("0", this);
        SetControlId(label, n.id);
        label->setFont(m_largeFont);
        label->setAlignment(Qt::AlignCenter);
        label->setGeometry(n.place);
        SetTextColour(label, Qt::white);
        label->show();
    }
    const std::pair<int, QRect> pictures[] = {{IDC_SIG_TURN, {43, 552, 83, 35}},
                                              {IDC_SIG_PEDAL, {171, 543, 60, 56}},
                                              {IDC_SIG_GEAR, {281, 551, 164, 44}}};
    for (const auto& [id, place] : pictures) {
        QWidget* picture = viewer::MakePicture(this, id);
        picture->setGeometry(place);
        picture->show();
    }
    // Static colours: times white, speed and the pictures' texts red.
    SetTextColour(Control(IDC_CURTIME), Qt::white);
    SetTextColour(Control(IDC_TOTALTIME), Qt::white);
    SetTextColour(Control(IDC_SPEED), Qt::red);
    SetTextColour(Control(IDC_SELECT_ALL), Qt::white);
    ResetIndicators();
}

int CSamplePlayerDlg::SignalUpdates(int id) const
{
    const int index = id - IDC_SIG_TURN;
    return index >= 0 && index < 16 ? m_signalUpdates[index] : 0;
}

void CSamplePlayerDlg::SetSignalPicture(int id, int bitmapId)
{
    viewer::SetPicture(Control(id), bitmapId);
    ++m_signalUpdates[id - IDC_SIG_TURN];
}

void CSamplePlayerDlg::SetSignalNumber(int id, int value)
{
    auto* label = static_cast<QLabel*>(Control(id));
    label->update();
    label->setText(QString::fromStdString(viewer::SignalNumberText(value)));
    ++m_signalUpdates[id - IDC_SIG_TURN];
}

void CSamplePlayerDlg::SetSpeedText(const QString& text)
{
    static_cast<QLabel*>(Control(IDC_SPEED))->setText(text);
}

void CSamplePlayerDlg::ResetIndicators()
{
    if (m_layoutMode == 2) {
        return;
    }
    SetSignalPicture(IDC_SIG_TURN, viewer::kTurnNone);
    SetSignalPicture(IDC_SIG_PEDAL, viewer::kPedalNone);
    SetSignalPicture(IDC_SIG_GEAR, viewer::kGearNone);
    for (const SignalNumber& n : kSignalNumbers) {
        SetSignalNumber(n.id, 0);
    }
}

void CSamplePlayerDlg::RefreshVehicleSignals(const CVehicleSignals::Table& table)
{
    if (m_layoutMode == 2) {
        return;
    }
    SignalPair turn, accel, brake, gear;
    table.Lookup("TurnSig", &turn);
    table.Lookup("Accel", &accel);
    table.Lookup("Break", &brake);
    table.Lookup("GearPos", &gear);
    if (turn.current != turn.previous) {
        SetSignalPicture(IDC_SIG_TURN, viewer::TurnSignalBitmap(turn.current));
    }
    SetSignalPicture(IDC_SIG_PEDAL, viewer::PedalBitmap(accel.current, brake.current));
    SetSignalPicture(IDC_SIG_GEAR, viewer::GearBitmap(gear.current));
    for (const SignalNumber& n : kSignalNumbers) {
        SignalPair pair;
        if (table.Lookup(n.key, &pair) && pair.current != pair.previous) {
            SetSignalNumber(n.id, pair.current);
        }
    }
}

void CSamplePlayerDlg::ResetChart(bool baselinePoint)
{
    m_shownSamples = 0;
    for (int axis = 0; axis < 3; ++axis) {
        m_graph->ClearSeries(m_series[axis]);
        if (baselinePoint) {
            m_graph->AddValue(m_series[axis], viewer::kAxisBaseline[axis], false);
        }
    }
    m_graph->Redraw();
}

void CSamplePlayerDlg::UpdateChart(int second)
{
    const CTextData& samples = m_telemetry.Samples();
    const int m = viewer::ChartSampleCount(second, samples.GSensorCount(), m_shownSamples);
    if (m < 0) {
        return;
    }
    m_shownSamples = m;
    for (auto* series : m_series) {
        m_graph->ClearSeries(series);
    }
    std::vector<CGSensorData> list;
    samples.GSensorFrom(0, &list);
    // The value added last is drawn at the left: sample 0 goes in last.
    for (int i = std::min<int>(m, static_cast<int>(list.size())) - 1; i >= 0; --i) {
        const CGSensorData& s = list[static_cast<size_t>(i)];
        m_graph->AddValue(m_series[0], s.m_x + viewer::kAxisBaseline[0], false);
        m_graph->AddValue(m_series[1], s.m_y + viewer::kAxisBaseline[1], false);
        m_graph->AddValue(m_series[2], s.m_z + viewer::kAxisBaseline[2], false);
    }
    m_graph->Redraw();
}
