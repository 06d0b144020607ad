#ifndef PARAMPANEL_H
#define PARAMPANEL_H

#include <QPointer>
#include <QWidget>
#include <tfx.h>

class QBoxLayout;
class QScrollArea;
class QWidget;
class TParam;
class TParamBool;
class TParamChoices;
class TParamCurve;
class TParamFloat;
class TParamGroup;
class TParamInt;

// The editors of one effect's parameters, built from what the parameters are (their kinds,
// ranges, presets and groups), never from knowledge of a particular effect. Of the common group
// "TFxCommon" only the opacity is shown, last (the mask switch is the stack panel's), and kinds
// without an editor (painted masks, visual and histogram parameters) are skipped.
//
// The widgets follow changes made to the parameters from elsewhere without reporting them;
// what the user changes is set on the parameter first, then announced by edited(), once per
// change. The panel does not own the effect; an effect deleted while shown empties the panel.
//
// Every editor carries the parameter's key in its objectName, so that tests, benchmarks and
// UI automation can find it:
//   float, int    QSlider "key", QDoubleSpinBox / QSpinBox "key/value", QLabel "key/label"
//                 (a double-click on the slider or the label restores the default)
//   bool          QCheckBox "key"
//   choices       QComboBox "key", QLabel "key/label"
//   curve         CurveEditor "key", QLabel "key/label"
//   group         QGroupBox "key" (checkable: its check is the group's enable switch),
//                 QToolButton "key/expand" (checkable: shows or hides the members)
//   presets       QComboBox "key/presets", for a parameter with more than its default
//                 preset and for a group with more than one named preset
class ParamPanel : public QWidget {
    Q_OBJECT
public:
    explicit ParamPanel(QWidget *parent = nullptr);
    ~ParamPanel() override;

    // Shows the editors of fx's parameters; nullptr empties the panel.
    void setEffect(TFx *fx);
    TFx *effect() const { return m_fx; }

    // Slider positions over a parameter's range. The parameter ignores moves of a thousandth
    // of its range or less, so one step must be larger than that.
    static constexpr int floatSteps = 500;

signals:
    // The user changed a parameter; it has been set already.
    void edited();

private:
    void buildParams(QObject *owner, QBoxLayout *layout);
    void addFloat(TParamFloat *param, QBoxLayout *layout);
    void addInt(TParamInt *param, QBoxLayout *layout);
    void addBool(TParamBool *param, QBoxLayout *layout);
    void addChoices(TParamChoices *param, QBoxLayout *layout);
    void addCurve(TParamCurve *param, QBoxLayout *layout);
    void addGroup(TParamGroup *param, QBoxLayout *layout);
    // A small combo box of the parameter's presets beside its editor, when it has more than
    // the default; applying one goes through applyPreset.
    void addPresets(TParam *param, const QStringList &labels, QBoxLayout *row);
    // Lets a double-click on target restore param's default.
    void resetOnDoubleClick(QWidget *target, TParam *param);
    // Runs a change the user asked for and reports it when it changed a parameter.
    template <class Change> void userChange(Change change);

    bool eventFilter(QObject *watched, QEvent *event) override;

    QPointer<TFx> m_fx;
    QScrollArea *m_scroll;
    QWidget *m_content = nullptr;
    // Changes of the shown parameters so far, from any source.
    int m_changes = 0;
};

#endif
