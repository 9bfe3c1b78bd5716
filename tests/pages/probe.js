// Test probe, put into the test's own copy of a page ahead of the page's scripts. It reports
// through markWarningSeen (saved by the program at once in appsettings.txt) and runs a named step
// when the test holds F12 while typing the step's name.
(() => {
  "use strict";
  const clean = text => String(text).replace(/[,"\\|;\u0000-\u001f\u007f]/g, "_").slice(0, 400);
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
  const frames = n => new Promise(done => {
    const next = left => (left ? requestAnimationFrame(() => next(left - 1)) : done());
    next(n);
  });
  const until = async (test, ms = 20000) => {
    for (const end = Date.now() + ms; Date.now() < end; await new Promise(r => setTimeout(r, 50))) {
      if (test()) return true;
    }
    return false;
  };
  const visible = el => !!el && el.getClientRects().length > 0 && !el.closest("[hidden]");
  const text = id => (visible($(id)) ? $(id).textContent.trim().replace(/\s+/g, " ") : "");

  // Screenshots must settle: nothing moves on its own.
  document.addEventListener("DOMContentLoaded", () => {
    const still = document.createElement("style");
    still.textContent = "*,*::before,*::after{animation:none!important;transition:none!important;caret-color:transparent!important}";
    document.head.appendChild(still);
  });

  // Places the test may click, by selector; reported after every step when visible.
  const PLACES = {
    theme: "#theme-toggle", install: "#update-install",
    acms: "#ac-ms", acdouble: 'input[name="ac-type"][value="1"]', acpick: "#ac-pick", acgo: "#ac-go",
    acgotit: '[data-warning="fast-clicks"]', ksadd: "#ks-add", ksrm0: '[data-remove="0"]', kschord: 'input[name="ks-mode"][value="1"]', ksgo: "#ks-go",
    prname: "#pr-name", prclear: '[data-action="clear"]', prdelete: '[data-action="delete"]',
    pryes: '[data-action="yes"]', prno: '[data-action="no"]',
    pr0: '[data-index="0"]',
    tabgeneral: "#tab-general", tabhotkeys: "#tab-hotkeys", hkauto: '[data-role="auto"]',
    hkrec: '[data-role="rec"]', hkreset: "#hk-reset", ontop: "#opt-on-top", warnings: "#opt-warnings",
    launch: "#opt-launch-startup",
    gripui: "#panel-ui .grip", gripspammer: "#panel-spammer .grip",
    foldspammer: "#panel-spammer .collapse", foldkeyspam: "#panel-keyspam .collapse",
    foldtracker: "#panel-tracker .collapse", foldprofile: "#panel-profile .collapse",
    foldui: "#panel-ui .collapse",
    hzjitter: "#ac-hz-jitter", hzrect: 'input[name="ac-hz-area"][value="1"]', hzpick: "#ac-hz-pick",
  };
  const places = () => Object.entries(PLACES).map(([name, selector]) => {
    const el = document.querySelector(selector);
    if (!visible(el)) return "";
    const box = el.getBoundingClientRect();
    if (box.bottom < 0 || box.top > innerHeight) return "";
    return name + ":" + Math.round(box.left + box.width / 2) + ":" + Math.round(box.top + box.height / 2);
  }).filter(Boolean).join(";");

  // Puts a panel's top just under the sticky top bar, as far as the page can scroll.
  const show = async id => {
    for (let i = 0; i < 2; i++) {
      window.scrollTo(0, $(id).getBoundingClientRect().top + window.scrollY - 54);
      await frames(1);
    }
  };
  const theme = want => {
    if (document.documentElement.getAttribute("data-theme") !== want) $("theme-toggle").click();
  };
  const banner = () => [text("update-text"), text("update-detail"),
    $("update-meter") && visible($("update-meter")) ? ($("update-meter").classList.contains("indeterminate") ? "indeterminate" : "meter " + $("update-meter").getAttribute("aria-valuenow")) : ""]
    .filter(Boolean).join(" / ");

  // Keyboard: every stop the Tab key makes, and whether it showed a ring there.
  const walk = { on: false, seen: new Set(), noRing: new Set() };
  const nameOf = el => el.id || (el.name ? el.name + "=" + el.value : "") || el.dataset.action ||
    el.dataset.role || el.dataset.warning || el.dataset.link || el.dataset.remove ||
    el.getAttribute("aria-label") || el.textContent.trim().slice(0, 20);
  const ringOn = el => [el, el.nextElementSibling].some(x => {
    if (!x) return false;
    const s = getComputedStyle(x);
    return s.outlineStyle !== "none" && parseFloat(s.outlineWidth) >= 2;
  });
  document.addEventListener("focusin", event => {
    if (!walk.on) return;
    const el = event.target;
    walk.seen.add(el);
    if (!ringOn(el)) walk.noRing.add(nameOf(el));
  });
  const tabbable = () => {
    const all = [...document.querySelectorAll("a[href],button,input,select,textarea,summary,[tabindex]")]
      .filter(el => visible(el) && !el.disabled && el.tabIndex >= 0 && !el.closest("[inert]"));
    const radios = new Set();
    return all.filter(el => {
      if (el.type !== "radio") return true;
      if (radios.has(el.name)) return false;
      radios.add(el.name);
      return true;
    });
  };
  const labelled = el => (el.labels && el.labels.length && [...el.labels].some(l => l.textContent.trim())) ||
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
  const contrast = () => {
    const low = [];
    for (const el of document.querySelectorAll("body *")) {
      const own = [...el.childNodes].some(n => n.nodeType === 3 && n.textContent.trim());
      if (!own || !visible(el) || el.closest(".vh,svg,script,style,:disabled")) continue;
      const box = el.getBoundingClientRect();
      if (box.width < 2 || box.height < 2) continue;
      const s = getComputedStyle(el);
      let alpha = 1;
      for (let at = el; at; at = at.parentElement) alpha *= +getComputedStyle(at).opacity;
      const fg = rgba(s.color);
      fg[3] *= alpha;
      const bg = backdrop(el);
      const [a, b] = [luminance(over(fg, bg)), luminance(bg)];
      const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
      const size = parseFloat(s.fontSize), bold = +s.fontWeight >= 700;
      const need = size >= 24 || (bold && size >= 18.66) ? 3 : 4.5;
      if (ratio < need) low.push((el.id || el.className || el.tagName) + " " + ratio.toFixed(2));
    }
    return low.length ? "low " + low.join(" ") : "ok";
  };

  const STEPS = {
    where: async () => "",
    top: async () => { window.scrollTo(0, 0); return ""; },
    dark: async () => { theme("dark"); return ""; },
    light: async () => { theme("light"); return ""; },
    showkeyspam: async () => { await show("panel-keyspam"); return ""; },
    showtracker: async () => { await show("panel-tracker"); return ""; },
    showprofile: async () => { await show("panel-profile"); return ""; },
    showui: async () => { await show("panel-ui"); return ""; },
    showwarnings: async () => { await show("opt-warnings"); return ""; },
    theme: async () => document.documentElement.getAttribute("data-theme"),
    picking: async () => (visible($("ac-picking")) ? "picking" : "not picking"),
    focused: async () => (document.activeElement ? document.activeElement.id : ""),
    coords: async () => { await until(() => /Clicks at/.test(text("ac-coords"))); return text("ac-coords"); },
    profiles: async () => [...document.querySelectorAll("#pr-list .profile")]
      .map(p => (p.classList.contains("current") ? "*" : "") + p.querySelector(".profile-name").textContent).join(" ") +
      ($("pr-name").disabled ? " full" : ""),
    order: async () => [...document.querySelectorAll("#panels > .panel")].map(p => p.id).join(" "),
    update: async () => { window.onUpdateAvailable("1.2.0", "1.0.1"); await frames(2); return banner(); },
    progress: async () => { window.onUpdateProgress(1048576, 4194304); await frames(2); return banner(); },
    unknown: async () => { window.onUpdateProgress(524288, 0); await frames(2); return banner(); },
    installing: async () => { window.onUpdateInstalling(); await frames(2); return banner(); },
    banner: async () => { await until(() => /Update failed|already/.test(text("update-text"))); return banner(); },
    walkstart: async () => {
      // Tabbing starts from an anchor at the top that Tab itself never stops at.
      let anchor = $("probe-anchor");
      if (!anchor) {
        anchor = document.createElement("span");
        anchor.id = "probe-anchor";
        anchor.tabIndex = -1;
        document.body.prepend(anchor);
      }
      window.scrollTo(0, 0);
      anchor.focus();
      walk.on = true;
      walk.seen.clear();
      walk.noRing.clear();
      return String(tabbable().length);
    },
    walkend: async () => {
      walk.on = false;
      const missed = tabbable().filter(el => !walk.seen.has(el)).map(nameOf);
      return "missed " + (missed.join(" ") || "none") + " noring " + ([...walk.noRing].join(" ") || "none");
    },
    labels: async () => {
      const bad = [...document.querySelectorAll("input,select,textarea")].filter(el => !labelled(el)).map(nameOf);
      const mute = [...document.querySelectorAll("button")].filter(b => !b.textContent.trim() && !b.getAttribute("aria-label")).map(b => b.className);
      return "unlabelled " + (bad.join(" ") || "none") + " nameless " + (mute.join(" ") || "none");
    },
    contrast: async () => contrast(),
    expand: async () => {
      for (const b of document.querySelectorAll('.collapse[aria-expanded="false"]')) b.click();
      for (const fold of document.querySelectorAll("details.fold")) fold.open = true;
      return "";
    },
    folds: async () => [...document.querySelectorAll("details.fold")].map(d => d.id + (d.open ? " open" : " closed")).join(" "),
    showhumanize: async () => { await show("ac-hz"); return ""; },
    hzpicking: async () => (visible($("ac-hz-picking")) ? "picking" : "not picking"),
    hzarea: async () => { await until(() => /Within/.test(text("ac-hz-area"))); return text("ac-hz-area"); },
  };

  const step = { held: false, name: "", count: 0, chain: Promise.resolve() };
  window.addEventListener("keydown", event => {
    if (event.key === "F12") {
      if (!event.repeat) { step.held = true; step.name = ""; }
    } else if (step.held) {
      step.name += event.key.length === 1 ? event.key.toLowerCase() : "";
    } else {
      return;
    }
    event.preventDefault();
    event.stopImmediatePropagation();
  }, true);
  window.addEventListener("keyup", event => {
    if (!step.held && event.key !== "F12") return;
    event.preventDefault();
    event.stopImmediatePropagation();
    if (event.key !== "F12") return;
    step.held = false;
    const index = step.count++, name = step.name;
    step.chain = step.chain.then(async () => {
      let note;
      try {
        note = STEPS[name] ? await STEPS[name]() : "no such step";
      } catch (e) {
        note = "step failed: " + e.message;
      }
      await frames(2);
      await report("done-" + index + " " + name + "|" + clean(note) + "|" + places());
    });
  }, true);
  window.addEventListener("keypress", event => {
    if (step.held) { event.preventDefault(); event.stopImmediatePropagation(); }
  }, true);
  document.addEventListener("DOMContentLoaded", () => report("loaded " + document.title));
})();
