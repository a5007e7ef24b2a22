// Input that puppeteer has no call for, sent through the browser's own input pipeline (the DevTools
// protocol's Input domain): a file dropped from outside, and touches of several fingers.
'use strict';

async function session(page) {
  if (!page.zemSession) page.zemSession = await page.target().createCDPSession();
  return page.zemSession;
}

// Drags the file in from outside the page and drops it at (x, y), as a file manager would.
async function dropFile(page, file, x = 320, y = 240) {
  const cdp = await session(page);
  const data = { items: [], files: [file], dragOperationsMask: 1 };
  await cdp.send('Input.dispatchDragEvent', { type: 'dragEnter', x, y, data });
  await cdp.send('Input.dispatchDragEvent', { type: 'dragOver', x, y, data });
  await cdp.send('Input.dispatchDragEvent', { type: 'drop', x, y, data });
}

// Fingers moving together from their start to their end positions in a few steps; each finger is
// [x0, y0, x1, y1].
async function touchGesture(page, fingers, steps = 5) {
  const cdp = await session(page);
  const at = (t) => fingers.map(([x0, y0, x1, y1], id) => ({ x: x0 + (x1 - x0) * t, y: y0 + (y1 - y0) * t, id }));
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: at(0) });
  for (let i = 1; i <= steps; i++) await cdp.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: at(i / steps) });
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
}

module.exports = { dropFile, touchGesture };
