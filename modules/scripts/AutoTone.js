// AutoTone: stretches the picture's tonal range. A histogram of "inY" gives the levels below
// which 1 % and 99 % of the pixels lie; a brightness/contrast filter then centres that range
// on mid-grey (brightness) and steepens its S-curve (contrast) until the range would span
// 1 % to 99 % of the full scale, as far as the contrast setting reaches. It never lowers
// contrast, and a picture of a single level is only centred. Colour passes through the
// tone filter unchanged. Ports "inY", "inC" (optional) and "outY", "outC".
//
// The script engine runs this file's top level again before every TFPROC(), so it holds
// definitions only; what lasts is the graph built in TFSETUP().

function autoToneTargets() {
    return { lowPercent: 1.0, highPercent: 99.0, targetSpan: 0.98 };
}

// Brightness and contrast (each -1..1) for the tone filter, which shifts by brightness / 2
// and bends values about mid-grey by x' = 1 - (2 - 2x)^p / 2 above it (mirrored below), with
// p = 3^contrast.
function autoToneSettings(low, high, targetSpan) {
    var lo = low / 65535.0;
    var hi = high / 65535.0;
    var brightness = Math.max(-1.0, Math.min(1.0, 2.0 * (0.5 - 0.5 * (lo + hi))));
    var halfSpan = 0.5 * (hi - lo);
    var contrast = 0.0;
    if (halfSpan > 0.0 && 2.0 * halfSpan < targetSpan) {
        var power = Math.log(1.0 - targetSpan) / Math.log(1.0 - 2.0 * halfSpan);
        contrast = Math.max(0.0, Math.min(1.0, Math.log(power) / Math.log(3.0)));
    }
    return { brightness: brightness, contrast: contrast };
}

function TFSETUP() {
    var f = TFILTER;
    f.description = "Stretches the 1st to 99th percentile of the luminance towards the full range";
    f.createInport("inY", "Y");
    f.createInport("inC", "C", true);
    f.createOutport("outY", "Y");
    f.createOutport("outC", "C");
    if (!f.createFilter("histogram", "TFHistogram") || !f.createFilter("tone", "TFBrightnessContrast"))
        return;
    f.histogram.inY.connectTo(f.inY);
    f.tone.inY.connectTo(f.inY);
    f.tone.inC.connectTo(f.inC);
    f.outY.connectTo(f.tone.outY);
    f.outC.connectTo(f.tone.outC);
}

function TFPROC() {
    var f = TFILTER;
    if (!f.histogram || !f.tone)
        return "AutoTone: the histogram or the tone filter is missing";
    var rc = f.histogram.proc();
    if (!f.procOK(rc))
        return rc;
    var targets = autoToneTargets();
    var low = f.histogram.percentile(targets.lowPercent);
    var high = f.histogram.percentile(targets.highPercent);
    if (low < 0 || high < 0)
        return "AutoTone: the picture is empty";
    var settings = autoToneSettings(low, high, targets.targetSpan);
    f.tone.setBrightness(settings.brightness);
    f.tone.setContrast(settings.contrast);
    rc = f.tone.proc();
    f.tone.setProccessed();
    return rc;
}
