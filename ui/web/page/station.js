// The station's page: it follows the station's typed events (/events) and
// redraws from the sockets' state (/api/sockets) whenever it (re)connects.
// Every text from the station is put in as text, never as markup.
"use strict";

const sockets = new Map();  // by the socket's identity: the last event of each slot
let station = null;         // the last station event
let info = null;            // /api/station
let order = 0;

// The slot an event is kept in, as the station keeps it.
function slotOf(kind) {
  if (kind === "prompt" || kind === "handover") return "wait";
  if (kind === "check") return "end";
  return kind;
}

function socketOf(port) {
  if (!sockets.has(port)) sockets.set(port, { slots: {}, since: {} });
  return sockets.get(port);
}

// One event into the page's picture of its socket.
function apply(ev) {
  if (ev.event === "station") { station = ev; return; }
  if (!ev.port) return;
  const s = socketOf(ev.port);
  const now = Date.now();
  if (ev.event === "socket") {
    const before = s.slots.socket ? s.slots.socket.state : null;
    if (ev.state === "empty" || (ev.state === "working" && before !== "working")) {
      s.slots = {};
      s.since = {};
    }
  } else if (ev.event === "start") {
    for (const k of ["phase", "progress", "retry", "wait", "end"]) delete s.slots[k];
    delete s.since.programming;
  } else if ((ev.event === "progress" || ev.event === "phase") && ev.phase === "Programming" && !s.since.programming) {
    s.since.programming = now;
  }
  if (ev.event === "progress" && ev.percent !== (s.slots.progress || {}).percent) s.since.percent = now;
  ev.order = ++order;
  ev.received = now;
  s.slots[slotOf(ev.event)] = ev;
}

function label(port) {
  return (info && info.labels && info.labels[port]) || "";
}

// The shortest part of a socket's name that tells it from the others.
function shortName(port) {
  const bare = port.replace(/^usb-path:/, "");
  return bare;
}

function secondsLeft(s, now) {
  const p = s.slots.progress;
  if (!p || p.phase !== "Programming" || !s.since.programming || !s.since.percent) return null;
  if (p.percent <= 0 || p.percent >= 100 || s.since.percent - s.since.programming < 2000) return null;
  const spent = (s.since.percent - s.since.programming) / 1000;
  const left = spent * 100 / p.percent - spent - (now - s.since.percent) / 1000;
  return Math.max(0, Math.round(left));
}

function minutes(seconds) {
  const m = Math.floor(seconds / 60), r = seconds % 60;
  return m + ":" + String(r).padStart(2, "0");
}

// The tile's state: its code (data-state), its words, a detail and the percent.
function tileOf(s, now) {
  const sock = s.slots.socket, end = s.slots.end, wait = s.slots.wait;
  const stateOf = (code, words, detail, percent) => ({ code, words, detail: detail || "", percent });
  if (end) {
    if (end.event === "check") {
      return end.ready ? stateOf("checked", "checked: ready to burn, take it out", end.message)
                       : stateOf("not-ready", "checked: not ready, take it out", end.message);
    }
    const again = end.erase_begun || end.handed_over ? " It must be burnt again." : "";
    switch (end.outcome) {
      case "success": return stateOf("done", "done: take it out", end.verified ? "burnt and running its new firmware" : end.message);
      case "no_image": return stateOf("no-image", "no image for this model: take it out", end.message);
      case "set_aside": return stateOf("set-aside", "set aside: to the repair bench", end.message);
      case "interrupted": return stateOf("interrupted", "interrupted: take it out", end.message + again);
      default: return stateOf("failed", "failed: take it out", end.message + again);
    }
  }
  if (!sock) return stateOf("empty", "empty");
  switch (sock.state) {
    // A unit pulled out during its burn: its failure stays until the next.
    case "empty": return sock.message ? stateOf("empty", sock.message, "the socket is empty") : stateOf("empty", "empty");
    case "take_out": return stateOf("take-out", "take it out", sock.message);
    case "unsteady": return stateOf("unsteady", "comes and goes", sock.message);
    case "busy": return stateOf("busy", "busy", sock.message);
    case "missing": return stateOf("missing", "not there", sock.message);
    case "other_station": return stateOf("other-station", "another station's", sock.message);
    default: break;
  }
  const values = [s.slots.phase, s.slots.progress].filter(Boolean).sort((a, b) => b.order - a.order)[0];
  const waiting = wait && wait.event !== "handover" && !(wait.event === "prompt" && wait.answered) &&
                  !(values && values.order > wait.order && values.phase !== "Idle");
  if (waiting) {
    const waitFor = wait.event === "prompt" ? wait.wait_for : wait.for;
    let left = "";
    let seconds = null;
    if (wait.event === "wait" && wait.seconds_left !== null && wait.seconds_left !== undefined) {
      seconds = Math.max(0, wait.seconds_left - Math.floor((now - wait.received) / 1000));
      left = minutes(seconds) + " left";
    }
    // Once its time is up the burn goes on, with the erase next.
    if (waitFor === "replug" && seconds === 0) {
      return stateOf("working", "no replug seen: the burn goes on", "do not unplug it now");
    }
    if (waitFor === "replug") return stateOf("replug", "replug the USB cable now", left);
    if (waitFor === "power_cycle") return stateOf("power-cycle", "power off and on now", left);
    if (waitFor === "restart") return stateOf("working", "the PLC restarts", left);
    return stateOf("working", "waiting for the PLC to come back", left);
  }
  const p = s.slots.progress;
  if (!p && !s.slots.start) return stateOf("working", "asking what it is", sock.message);
  const phase = (values && values.phase) || "Idle";
  const percent = p ? p.percent : 0;
  const left = secondsLeft(s, now);
  const words = phase === "Idle" ? "starting" : phase + " " + percent + " %";
  const detail = [left === null ? "" : minutes(left) + " left",
                  p && p.errors_total ? "retries " + p.errors_total : ""].filter(Boolean).join(", ");
  return stateOf("working", words, detail, phase === "Programming" ? percent : null);
}

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function drawTiles() {
  const now = Date.now();
  const tiles = document.getElementById("tiles");
  const ports = [...sockets.keys()].sort();
  const keep = new Set(ports);
  for (const t of [...tiles.children]) if (!keep.has(t.dataset.socket)) t.remove();
  ports.forEach((port, i) => {
    const s = sockets.get(port);
    let tile = [...tiles.children].find(t => t.dataset.socket === port);
    if (!tile) {
      tile = el("section", "tile");
      tile.dataset.socket = port;
      tile.setAttribute("aria-live", "polite");
    }
    if (tiles.children[i] !== tile) tiles.insertBefore(tile, tiles.children[i] || null);
    const t = tileOf(s, now);
    tile.dataset.state = t.code;
    tile.replaceChildren();
    const name = label(port);
    tile.append(el("div", "name", name || shortName(port)));
    if (name) tile.append(el("div", "ident", port));
    tile.append(el("div", "state", t.words));
    if (t.detail) tile.append(el("div", "detail", t.detail));
    if (t.percent !== null && t.percent !== undefined) {
      const bar = el("div", "bar");
      const fill = el("div");
      fill.style.width = t.percent + "%";
      bar.append(fill);
      tile.append(bar);
    }
    const sock = s.slots.socket, start = s.slots.start, found = s.slots.identify;
    const model = (start && start.model) || (found && (found.model || found.models)) || "";
    const serial = sock && sock.usb_serial;
    const unit = [model, serial ? "USB serial " + serial : ""].filter(Boolean).join(", ");
    if (unit) tile.append(el("div", "unit", unit));
    // The shift's yield from the record database where there is one (it
    // spans the station's restarts), else this run's.
    const shift = info && info.shift ? info.shift[port] || { done: 0, failed: 0, set_aside: 0 } : null;
    const here = shift || sock;
    if (here && (here.done || here.failed || here.set_aside)) {
      const judged = here.done + here.failed;
      tile.append(el("div", "unit yield", (shift ? "last " + info.shift_hours + " h: " : "here: ") +
                     here.done + " done, " + here.failed + " failed" +
                     (here.set_aside ? ", " + here.set_aside + " set aside" : "") +
                     (judged ? ", yield " + (100 * here.done / judged).toFixed(0) + " %" : "")));
    }
  });
}

function clock(text) {
  const d = new Date(text);
  return isNaN(d) ? text : d.toLocaleTimeString([], { hour: "2-digit", minute: "2-digit", second: "2-digit" });
}

function drawHeader() {
  const images = document.getElementById("images");
  images.replaceChildren();
  const stopping = document.getElementById("stopping");
  if (station) {
    const check = station.check ? " (checks each unit, burns nothing)" : "";
    images.append(el("b", "", station.sha256 ? "Image" + check + ": " : "Images" + check + ": "));
    if (station.sha256) {
      images.append(el("span", "", station.model + ", " + station.image + " "));
      images.append(el("code", "", station.sha256.slice(0, 12)));
    } else {
      images.append(el("span", "", station.images));
    }
    stopping.hidden = station.state === "watching";
    stopping.textContent = station.state === "stopping"
      ? "stopping: the running burns finish, nothing new is burnt"
      : station.state === "stopped" ? "the station has stopped" : "";
  }
  const counts = document.getElementById("counts");
  counts.replaceChildren();
  if (info) {
    const check = station && station.check;
    const yieldText = info.yield === null ? "–" : info.yield.toFixed(1) + " %";
    counts.append(el("span", "", check ? "ready " : "done "), el("b", "", String(info.done)),
                  el("span", "", check ? ", not ready " : ", failed "), el("b", "", String(info.failed)),
                  el("span", "", check ? "" : ", yield "), el("b", "", check ? "" : yieldText),
                  el("span", "", ", since " + clock(info.started)));
    if (info.records_waiting > 0) {
      counts.append(el("span", "waiting", "; " + info.records_waiting +
                       (info.records_waiting === 1 ? " burn waits" : " burns wait") +
                       " for the record database"));
    }
  }
}

function drawChart() {
  const svg = document.getElementById("chart");
  const ns = "http://www.w3.org/2000/svg";
  svg.replaceChildren();
  const hours = (info && info.hours) || [];
  const shown = hours.slice(-12);
  const most = Math.max(1, ...shown.map(h => h.done + h.failed));
  const width = 600, height = 150, slot = width / 12;
  shown.forEach((h, i) => {
    const x = i * slot + 6;
    const doneH = h.done / most * (height - 20), failedH = h.failed / most * (height - 20);
    const bar = (cls, y, hgt) => {
      const r = document.createElementNS(ns, "rect");
      r.setAttribute("class", cls); r.setAttribute("x", x); r.setAttribute("width", slot - 12);
      r.setAttribute("y", y); r.setAttribute("height", hgt);
      const title = document.createElementNS(ns, "title");
      title.textContent = clock(h.hour) + ": " + h.done + " done, " + h.failed + " failed";
      r.append(title);
      svg.append(r);
    };
    bar("done", height - doneH, doneH);
    bar("failed", height - doneH - failedH, failedH);
    const t = document.createElementNS(ns, "text");
    t.setAttribute("x", x); t.setAttribute("y", height + 16);
    t.textContent = new Date(h.hour).toLocaleTimeString([], { hour: "2-digit" });
    svg.append(t);
    const n = document.createElementNS(ns, "text");
    n.setAttribute("x", x); n.setAttribute("y", Math.max(12, height - doneH - failedH - 4));
    n.textContent = h.done + "/" + h.failed;
    svg.append(n);
  });
}

function drawBurns() {
  const body = document.querySelector("#burns tbody");
  body.replaceChildren();
  const last = ((info && info.last) || []).slice().reverse();
  for (const b of last) {
    const tr = el("tr");
    const e = b.end;
    const done = e.exit_status === 0;
    const outcome = e.event === "check" ? (e.ready ? "ready" : "not ready: " + e.message)
                                        : (done ? "done" : e.outcome + ": " + e.message);
    tr.append(el("td", "", clock(b.time)), el("td", "", label(e.port) || shortName(e.port)),
              el("td", "", b.usb_serial || ""), el("td", "", b.model || ""),
              el("td", done ? "done" : "failed", outcome), el("td", "", String(e.seconds)));
    body.append(tr);
  }
}

function draw() {
  drawHeader();
  drawTiles();
  drawChart();
  drawBurns();
}

// Events that come while the sockets' state is on its way: applied after it,
// those it does not hold yet.
let pending = null;

async function redraw() {
  pending = [];
  try {
    const [answer, facts] = await Promise.all([
      fetch("/api/sockets"),
      fetch("/api/station").then(r => r.json()),
    ]);
    const told = Number(answer.headers.get("X-Station-Told") || 0);
    const events = await answer.json();
    sockets.clear();
    info = facts;
    if (facts.station) station = facts.station;
    for (const ev of events) apply(ev);
    const later = pending.filter(m => m.id > told);
    for (const m of later) apply(m.ev);
    if (later.length) refreshInfo();
  } finally {
    pending = null;
  }
  draw();
}

let infoDue = null;
// The counts, the chart and the last burns are asked for again after a burn ends.
function refreshInfo() {
  if (infoDue) return;
  infoDue = setTimeout(async () => {
    infoDue = null;
    try {
      info = await fetch("/api/station").then(r => r.json());
      drawHeader(); drawChart(); drawBurns();
    } catch (e) { /* the next connection redraws */ }
  }, 200);
}

function follow() {
  const connection = document.getElementById("connection");
  const source = new EventSource("/events");
  source.onopen = () => {
    connection.textContent = "live";
    connection.dataset.connected = "yes";
    redraw().catch(() => {});
  };
  source.onerror = () => {
    connection.textContent = "the station cannot be reached: trying again";
    connection.dataset.connected = "no";
    if (source.readyState === EventSource.CLOSED) {
      setTimeout(follow, 2000);  // a browser that gave up is started again
    }
  };
  for (const kind of ["start", "phase", "progress", "retry", "prompt", "handover", "wait", "end",
                      "check", "identify", "socket", "station"]) {
    source.addEventListener(kind, m => {
      const ev = JSON.parse(m.data);
      if (pending) {
        pending.push({ id: Number(m.lastEventId), ev });
        return;
      }
      apply(ev);
      if (kind === "end" || kind === "check" || kind === "station") refreshInfo();
      if (kind === "station") drawHeader(); else drawTiles();
    });
  }
}

follow();
setInterval(drawTiles, 1000);  // the countdowns and the time left
