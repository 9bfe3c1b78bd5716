// Test probe, put into the test's own copy of a page ahead of the page's scripts. It reports
// through markWarningSeen (saved by the program at once in appsettings.txt) and runs a named step
// when the test holds F12 while typing the step's name.
(() => {
  "use strict";
  const sent = new Set();
  const report = id => {
    id = String(id).replace(/[,"\\\u0000-\u001f\u007f]/g, "_");
    if (!id || sent.has(id) || typeof window.markWarningSeen !== "function") return Promise.resolve();
    sent.add(id);
    return window.markWarningSeen(id);
  };
  window.addEventListener("error", e => report("console-error " + (e.message || e.type)));
  window.addEventListener("unhandledrejection", e =>
    report("console-error rejection " + ((e.reason && e.reason.message) || e.reason)));
  const original = console.error;
  console.error = (...args) => {
    report("console-error " + args.join(" "));
    original.apply(console, args);
  };

  const $ = id => document.getElementById(id);
  const frames = async n => {
    while (n--) await new Promise(requestAnimationFrame);
  };
  const visible = el => !!el && el.getClientRects().length > 0 && !el.closest("[hidden]");
  const text = id => (visible($(id)) ? $(id).textContent.trim().replace(/\s+/g, " ") : "");

  // Screenshots must settle: nothing moves on its own.
  document.addEventListener("DOMContentLoaded", () => {
    const still = document.createElement("style");
    still.textContent = "*,*::before,*::after{animation:none!important;transition:none!important;caret-color:transparent!important}";
    document.head.appendChild(still);
  });

  // Places the test may click, by selector, plus each panel's grip and fold button; reported
  // after every step when on screen.
  const PLACES = {
    theme: "#theme-toggle", install: "#update-install",
    acms: "#ac-ms", acdouble: 'input[name="ac-type"][value="1"]', acpick: "#ac-pick", acgo: "#ac-go",
    acgotit: '[data-warning="fast-clicks"]', ksadd: "#ks-add", ksrm0: '[data-remove="0"]',
    kschord: 'input[name="ks-mode"][value="1"]', ksgo: "#ks-go",
    prname: "#pr-name", prclear: '[data-action="clear"]', prdelete: '[data-action="delete"]',
    pryes: '[data-action="yes"]', prno: '[data-action="no"]', pr0: '[data-index="0"]',
    tabgeneral: "#tab-general", tabhotkeys: "#tab-hotkeys", hkauto: '[data-role="auto"]',
    hkrec: '[data-role="rec"]', hkreset: "#hk-reset", ontop: "#opt-on-top", warnings: "#opt-warnings",
    launch: "#opt-launch-startup",
    hzjitter: "#ac-hz-jitter", hzrect: 'input[name="ac-hz-area"][value="1"]', hzpick: "#ac-hz-pick",
  };
  const places = () => Object.entries(PLACES).concat(...[...document.querySelectorAll("#panels > .panel")]
    .map(p => [["grip" + p.id.slice(6), `#${p.id} .grip`], ["fold" + p.id.slice(6), `#${p.id} .collapse`]]))
    .map(([name, selector]) => {
    const el = document.querySelector(selector);
    const box = visible(el) && el.getBoundingClientRect();
    if (!box || box.bottom < 0 || box.top > innerHeight) return "";
    return name + ":" + Math.round(box.left + box.width / 2) + ":" + Math.round(box.top + box.height / 2);
  }).filter(Boolean).join(";");

  const banner = () => [text("update-text"), text("update-detail"),
    visible($("update-meter")) ? ($("update-meter").classList.contains("indeterminate") ? "indeterminate" : "meter " + $("update-meter").getAttribute("aria-valuenow")) : ""]
    .filter(Boolean).join(" / ");
  // The program's calls to the update banner, and what the banner then shows.
  const updated = call => async () => {
    call();
    return frames(2).then(banner);
  };

  // Keyboard: every stop the Tab key makes, and whether it showed a ring there.
  const walk = { on: false, seen: new Set(), noRing: new Set() };
  const nameOf = el => el.id || (el.name ? el.name + "=" + el.value : "") || el.dataset.action ||
    el.dataset.role || el.dataset.warning || el.dataset.link || el.dataset.remove ||
    el.getAttribute("aria-label") || el.textContent.trim().slice(0, 20);
  const ringOn = el => [el, el.nextElementSibling].some(x => {
    const s = x && getComputedStyle(x);
    return !!s && s.outlineStyle !== "none" && parseFloat(s.outlineWidth) >= 2;
  });
  document.addEventListener("focusin", ({ target }) => {
    if (!walk.on) return;
    walk.seen.add(target);
    if (!ringOn(target)) walk.noRing.add(nameOf(target));
  });
  // A group of radio buttons is one stop, at the checked one.
  const stop = el => el.type !== "radio" ||
    el === (document.querySelector(`[name="${el.name}"]:checked`) || document.querySelector(`[name="${el.name}"]`));
  const tabbable = () => [...document.querySelectorAll("a[href],button,input,select,textarea,summary,[tabindex]")]
    .filter(el => visible(el) && !el.disabled && el.tabIndex >= 0 && !el.closest("[inert]") && stop(el));
  const labelled = el => (el.labels && [...el.labels].some(l => l.textContent.trim())) ||
    el.getAttribute("aria-label") || el.getAttribute("aria-labelledby");

  // WCAG contrast of every visible text against the colours behind it.
  const rgba = value => {
    const m = /rgba?\(([\d.]+)[, ]+([\d.]+)[, ]+([\d.]+)(?:[,/ ]+([\d.]+))?\)/.exec(value);
    return m ? [+m[1], +m[2], +m[3], m[4] === undefined ? 1 : +m[4]] : [0, 0, 0, 0];
  };
  const luminance = ([r, g, b]) => [r, g, b].map(c => {
    c /= 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  }).reduce((sum, c, i) => sum + c * [0.2126, 0.7152, 0.0722][i], 0);
  const over = (top, under) => top.slice(0, 3).map((c, i) => c * top[3] + under[i] * (1 - top[3])).concat(1);
  const backdrop = el => {
    const layers = [];
    for (let at = el; at; at = at.parentElement) {
      const c = rgba(getComputedStyle(at).backgroundColor);
      if (c[3] > 0) layers.push(c);
      if (c[3] >= 1) break;
    }
    return layers.reduceRight((under, top) => over(top, under), [255, 255, 255, 1]);
  };
  const lowContrast = () => [...document.querySelectorAll("body *")].map(el => {
    const own = [...el.childNodes].some(n => n.nodeType === 3 && n.textContent.trim());
    const box = el.getBoundingClientRect();
    if (!own || !visible(el) || el.closest(".vh,svg,script,style,:disabled") || box.width < 2 || box.height < 2) return "";
    const s = getComputedStyle(el), fg = rgba(s.color), bg = backdrop(el);
    for (let at = el; at; at = at.parentElement) fg[3] *= +getComputedStyle(at).opacity;
    const [a, b] = [luminance(over(fg, bg)), luminance(bg)];
    const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05), size = parseFloat(s.fontSize);
    const need = size >= 24 || (+s.fontWeight >= 700 && size >= 18.66) ? 3 : 4.5;
    return ratio < need ? (el.id || el.className || el.tagName) + " " + ratio.toFixed(2) : "";
  }).filter(Boolean);
  const none = list => list.join(" ") || "none";

  const STEPS = {
    where: () => "",
    top: () => { window.scrollTo(0, 0); return ""; },
    theme: () => document.documentElement.getAttribute("data-theme"),
    height: () => String(innerHeight),
    picking: () => none(["ac-picking", "ac-hz-picking"].filter(id => visible($(id)))),
    coords: () => text("ac-coords"),
    hzarea: () => text("ac-hz-area"),
    banner,
    update: updated(() => window.onUpdateAvailable("1.2.0", "1.0.1")),
    progress: updated(() => window.onUpdateProgress(1048576, 4194304)),
    unknown: updated(() => window.onUpdateProgress(524288, 0)),
    installing: updated(() => window.onUpdateInstalling()),
    focused: () => (document.activeElement ? document.activeElement.id : ""),
    profiles: () => [...document.querySelectorAll("#pr-list .profile")]
      .map(p => (p.classList.contains("current") ? "*" : "") + p.querySelector(".profile-name").textContent).join(" ") +
      ($("pr-name").disabled ? " full" : ""),
    order: () => [...document.querySelectorAll("#panels > .panel")].map(p => p.id).join(" "),
    folds: () => [...document.querySelectorAll("details.fold")].map(d => d.id + (d.open ? " open" : " closed")).join(" "),
    expand: () => {
      for (const b of document.querySelectorAll('.collapse[aria-expanded="false"]')) b.click();
      for (const fold of document.querySelectorAll("details.fold")) fold.open = true;
      return "";
    },
    walkstart: () => {
      // Tabbing starts from an anchor at the top that Tab itself never stops at.
      const anchor = $("probe-anchor") || document.body.insertBefore(document.createElement("span"), document.body.firstChild);
      Object.assign(anchor, { id: "probe-anchor", tabIndex: -1 });
      window.scrollTo(0, 0);
      anchor.focus();
      Object.assign(walk, { on: true, seen: new Set(), noRing: new Set() });
      return String(tabbable().length);
    },
    // What the walk missed or showed without a ring, fields without a label, buttons without a
    // name, text without enough contrast.
    audit: () => {
      walk.on = false;
      return ["missed " + none(tabbable().filter(el => !walk.seen.has(el)).map(nameOf)),
        "noring " + none([...walk.noRing]),
        "unlabelled " + none([...document.querySelectorAll("input,select,textarea")].filter(el => !labelled(el)).map(nameOf)),
        "nameless " + none([...document.querySelectorAll("button")].filter(b => !b.textContent.trim() && !b.getAttribute("aria-label")).map(b => b.className)),
        "low " + none(lowContrast())].join(" ");
    },
  };
  // "show" and a panel's name puts the panel's top just under the sticky top bar, as far as the
  // page can scroll; the warnings and Humanize are named alike.
  const run = async name => {
    if (!name.startsWith("show")) return STEPS[name] ? STEPS[name]() : "no such step";
    const el = $({ warnings: "opt-warnings", humanize: "ac-hz" }[name.slice(4)] || "panel-" + name.slice(4));
    for (let i = 0; i < 2; i++) {
      window.scrollTo(0, el.getBoundingClientRect().top + window.scrollY - 54);
      await frames(1);
    }
    return "";
  };

  // While F12 is held the page sees none of the keys; their letters name the step to run.
  const step = { held: false, name: "", count: 0, chain: Promise.resolve() };
  for (const type of ["keydown", "keypress", "keyup"]) {
    window.addEventListener(type, event => {
      if (event.key !== "F12" && !step.held) return;
      event.preventDefault();
      event.stopImmediatePropagation();
      if (type === "keydown" && event.key === "F12" && !event.repeat) Object.assign(step, { held: true, name: "" });
      if (type === "keydown" && event.key !== "F12") step.name += event.key.length === 1 ? event.key.toLowerCase() : "";
      if (type !== "keyup" || event.key !== "F12") return;
      step.held = false;
      const index = step.count++, name = step.name;
      step.chain = step.chain.then(async () => {
        const note = await run(name).catch(e => "step failed: " + e.message);
        await frames(2);
        await report("done-" + index + " " + name + "|" + String(note).replace(/[|;]/g, "_").slice(0, 400) + "|" + places());
      });
    }, true);
  }
  document.addEventListener("DOMContentLoaded", () => report("loaded " + document.title));
})();
