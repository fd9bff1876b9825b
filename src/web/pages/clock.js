// Follows korvo-web's live channel and shows the clock on the page that loaded this script: the big
// clock at / or the strip at /overlay. The server pushes the state as JSON whenever a datagram is
// accepted; everything that changes with time alone (the age of the last update) is worked out here.
"use strict";

(function () {
  const view = {
    clockBox: document.getElementById("clock-box"),
    clock: document.getElementById("clock"),
    period: document.getElementById("period"),
    paused: document.getElementById("paused"),
    status: document.getElementById("status"),
    strip: document.getElementById("strip"),
  };
  const firstRetryMs = 500;
  const lastRetryMs = 10000;

  let state = null; // the last state with anything heard from the clock
  let heardAt = 0; // performance.now() when that state's datagram arrived
  let staleAfterMs = 2000;
  let lost = false; // the live channel closed and is being opened again
  let retryMs = firstRetryMs;

  function setText(element, text) {
    if (element && element.textContent !== text) element.textContent = text;
  }

  function show(element, visible) {
    if (element && element.hidden === visible) element.hidden = !visible;
  }

  // Overlay settings from the URL; a value that is not understood leaves the default.
  function applyOverlayQuery() {
    const query = new URLSearchParams(location.search);
    const body = document.body.style;
    const corner = query.get("corner");
    if (["top-left", "top-right", "bottom-left", "bottom-right"].includes(corner)) document.body.dataset.corner = corner;
    const scale = query.get("scale");
    if (scale !== null && /^[0-9]{1,2}(\.[0-9]{1,3})?$/.test(scale) && Number(scale) >= 0.25 && Number(scale) <= 8)
      body.setProperty("--scale", scale);
    for (const name of ["fg", "bg"]) {
      const colour = query.get(name);
      if (colour !== null && /^([0-9a-fA-F]{6}|[0-9a-fA-F]{8})$/.test(colour)) body.setProperty("--" + name, "#" + colour);
    }
  }

  // The largest digits that fit the box. Every digit is measured as "0", so the size changes only with
  // the number of characters, never from one second to the next.
  const ruler = document.createElement("canvas").getContext("2d");
  let fitted = "";
  function fit(force) {
    if (!view.clockBox) return;
    const shape = view.clock.textContent.replace(/[0-9]/g, "0");
    const key = shape + " " + view.clockBox.clientWidth + "x" + view.clockBox.clientHeight;
    if (!force && key === fitted) return;
    fitted = key;
    const style = getComputedStyle(view.clock);
    ruler.font = style.fontWeight + " 100px " + style.fontFamily;
    const width = ruler.measureText(shape).width;
    const digits = ruler.measureText("0123456789");
    const ink = digits.actualBoundingBoxAscent + digits.actualBoundingBoxDescent;
    if (width <= 0 || ink <= 0) return;
    const size = Math.floor(0.97 * 100 * Math.min(view.clockBox.clientWidth / width, view.clockBox.clientHeight / ink));
    view.clock.style.fontSize = Math.max(1, size) + "px";
  }

  function render() {
    const now = performance.now();
    setText(view.clock, state && state.clock !== null ? state.clock : "--:--");
    setText(view.period, state && state.period !== null ? "Period " + state.period : "");
    const paused = Boolean(state && state.paused);
    show(view.paused, paused);
    document.body.classList.toggle("paused", paused);

    const notes = [];
    if (lost) notes.push("reconnecting");
    else if (!state) notes.push("waiting for the clock");
    const age = state ? now - heardAt : 0;
    if (state && age > staleAfterMs) notes.push("last update " + Math.floor(age / 1000) + " s ago");
    if (view.status && view.status.hasAttribute("data-with-source") && state) notes.unshift("from " + state.source);
    setText(view.status, notes.join(" \u2014 "));
    if (view.strip) show(view.status, notes.length > 0);
    fit(false);
  }

  function received(text) {
    let next;
    try {
      next = JSON.parse(text);
    } catch (error) {
      return;
    }
    if (typeof next !== "object" || next === null) return;
    if (typeof next.staleAfterMs === "number") staleAfterMs = next.staleAfterMs;
    // A server that has heard nothing yet (just restarted, say) knows less than this page: keep what it shows.
    if (typeof next.ageMs !== "number") return;
    state = next;
    heardAt = performance.now() - next.ageMs;
    render();
  }

  function connect() {
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    const socket = new WebSocket(scheme + location.host + "/live");
    socket.onopen = function () {
      lost = false;
      retryMs = firstRetryMs;
      render();
    };
    socket.onmessage = function (event) {
      received(event.data);
    };
    socket.onclose = function () {
      lost = true;
      render();
      // Spread out, so that every screen of a venue does not knock at the same moment.
      setTimeout(connect, retryMs * (0.8 + 0.4 * Math.random()));
      retryMs = Math.min(retryMs * 2, lastRetryMs);
    };
  }

  if (view.strip) applyOverlayQuery();
  window.addEventListener("resize", function () { fit(true); });
  if (document.fonts) document.fonts.ready.then(function () { fit(true); });
  setInterval(render, 250);
  fit(true);
  connect();
})();
