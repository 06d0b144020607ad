// SoftGlow: a blurred copy of the picture laid over it in screen mode, so that bright areas
// bleed a soft light into their surroundings. Ports "inY", "inC" (optional), "inM" (optional,
// limits the glow) and "outY", "outC". Hosts tune it through the sub-filters: "blur"
// (TFBlur, setRadius) and "blend" (TLayerModes, setOpacity).
//
// The script engine runs this file's top level again before every TFPROC(), so it holds
// definitions only; what lasts is the graph built in TFSETUP().

function softGlowDefaults() {
    return { radius: 12.0, opacity: 0.6, screenMode: 2 };
}

function TFSETUP() {
    var f = TFILTER;
    var defaults = softGlowDefaults();
    f.description = "A blurred copy screened over the picture";
    f.createInport("inY", "Y");
    f.createInport("inC", "C", true);
    f.createInport("inM", "M", true);
    f.createOutport("outY", "Y");
    f.createOutport("outC", "C");
    if (!f.createFilter("blur", "TFBlur") || !f.createFilter("blend", "TLayerModes"))
        return;
    var blur = f.blur;
    var blend = f.blend;
    blur.setRadius(defaults.radius);
    blend.setMode(defaults.screenMode);
    blend.setOpacity(defaults.opacity);
    // The picture goes to the blur and, as the base, to the blend; the blurred copy is the
    // layer; the blend's result leaves the filter.
    blur.inY.connectTo(f.inY);
    blur.inC.connectTo(f.inC);
    blend.inY.connectTo(f.inY);
    blend.inC.connectTo(f.inC);
    blend.inM.connectTo(f.inM);
    blend.inY2.connectTo(blur.outY);
    blend.inC2.connectTo(blur.outC);
    f.outY.connectTo(blend.outY);
    f.outC.connectTo(blend.outC);
}

function TFPROC() {
    var f = TFILTER;
    if (!f.blur || !f.blend)
        return "SoftGlow: the blur or the blend filter is missing";
    var rc = f.blur.proc();
    if (!f.procOK(rc))
        return rc;
    return f.blend.proc();
}
