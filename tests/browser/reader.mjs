// The web reader in a real browser: accessibility audit (light and dark), a keyboard-only round,
// a phone-width layout without sideways scrolling, the answers in a phone's first screen, a
// publisher's hostile markup that must do nothing, and screenshots to look at.
// Usage: node reader.mjs BASE_URL SHOT_DIR   (CHROMIUM overrides /usr/bin/chromium)
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { createRequire } from 'node:module';
import puppeteer from 'puppeteer-core';

const require = createRequire(import.meta.url);
const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

const base = (process.argv[2] || 'http://127.0.0.1:8642').replace(/\/$/, '');
const shotDir = process.argv[3] || 'build/reader-shots';
fs.mkdirSync(shotDir, { recursive: true });

const failures = [];
function check(condition, what) {
  if (!condition) failures.push(what);
  console.log(`${condition ? 'ok  ' : 'FAIL'} ${what}`);
}

const args = ['--headless=new', '--disable-gpu', '--no-first-run', '--disable-dev-shm-usage'];
if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args,
});

async function open(url, { width = 1280, height = 900, scheme = 'light' } = {}) {
  const page = await browser.newPage();
  // The reader forbids inline scripts by its policy; the audit injects axe-core regardless.
  await page.setBypassCSP(true);
  await page.setViewport({ width, height });
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
  const response = await page.goto(base + url, { waitUntil: 'load' });
  return { page, response };
}

// A first product, group and maker to audit, found through the reader's own lists.
async function firstLink(listUrl, prefix) {
  const { page } = await open(listUrl);
  const href = await page.$$eval('main a[href]', (as, p) => {
    const a = as.find((x) => x.getAttribute('href').startsWith(p));
    return a ? a.getAttribute('href') : null;
  }, prefix);
  await page.close();
  return href;
}

const letterHref = await firstLink('/', '/letter/');
const productHref = letterHref ? await firstLink(letterHref, '/item/') : null;
const groupHref = await firstLink('/groups', '/group/');
const makerHref = await firstLink('/makers', '/maker/');
check(productHref && groupHref && makerHref, 'lists lead to a product, a group and a maker');

// A product's release dates after a last dose, as its withdrawal form asks for them.
const periodsUrl = process.env.PERIODS_ITEM ? `/item/${process.env.PERIODS_ITEM}?last=01.03.2027+08%3A00` : null;
const audited = [
  ['home', '/'],
  ['results', '/search?q=' + encodeURIComponent('собак')],
  ['product', productHref],
  ['group', groupHref],
  ['maker', makerHref],
  ['periods', periodsUrl],
].filter(([, url]) => url);

for (const scheme of ['light', 'dark']) {
  for (const [name, url] of audited) {
    const { page, response } = await open(url, { scheme });
    check(response.status() === 200, `${name} (${scheme}) answers 200`);
    await page.addScriptTag({ content: axeSource });
    const result = await page.evaluate(async () => {
      // eslint-disable-next-line no-undef
      const r = await axe.run(document, { resultTypes: ['violations'] });
      return r.violations.map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.length,
                                        target: v.nodes[0] && v.nodes[0].target.join(' ') }));
    });
    const bad = result.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    for (const v of result) console.log(`     ${scheme} ${name}: ${v.impact} ${v.id} x${v.nodes} (${v.target})`);
    check(bad.length === 0, `${name} (${scheme}): no serious or critical accessibility violations`);
    await page.close();
  }
}

// Keyboard only: Tab to the search box, type, Enter, Tab to the first result, Enter.
{
  const { page } = await open('/');
  let onSearch = false;
  for (let i = 0; i < 5 && !onSearch; ++i) {
    await page.keyboard.press('Tab');
    onSearch = await page.evaluate(() => {
      const e = document.activeElement;
      return !!e && e.tagName === 'INPUT' && (e.type === 'search' || e.name === 'q');
    });
  }
  check(onSearch, 'keyboard: Tab reaches the search box');
  await page.keyboard.type('амоксициллин');
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.keyboard.press('Enter')]);
  check(page.url().includes('/search?'), 'keyboard: Enter runs the search');
  let linkText = null;
  for (let i = 0; i < 40 && !linkText; ++i) {
    await page.keyboard.press('Tab');
    linkText = await page.evaluate(() => {
      const e = document.activeElement;
      const inMain = e && e.closest && e.closest('main');
      return e && e.tagName === 'A' && inMain && e.getAttribute('href').startsWith('/item/')
        ? e.textContent.trim() : null;
    });
  }
  check(!!linkText, 'keyboard: Tab reaches the first result');
  if (linkText) {
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.keyboard.press('Enter')]);
    const h1 = await page.$eval('h1', (e) => e.textContent.trim());
    check(h1 === linkText || linkText.startsWith(h1), `keyboard: the product page's h1 is the name ("${h1}")`);
  }
  await page.close();
}

// A 360 px phone: the longest demo product page has no sideways scrolling.
{
  const longest = process.env.LONGEST_ITEM || '109';
  const { page } = await open('/item/' + longest, { width: 360, height: 740 });
  const widths = await page.evaluate(() => ({
    scroll: document.documentElement.scrollWidth,
    client: document.documentElement.clientWidth,
  }));
  check(widths.scroll <= widths.client, `360 px: no horizontal scrolling on /item/${longest} (${widths.scroll} <= ${widths.client})`);
  await page.close();
}

// A 360 px phone: the way to the calculator is in the first screen, and every release date of
// the withdrawal table lies inside the viewport (the quote under its row, not in a column).
if (periodsUrl) {
  const { page, response } = await open(periodsUrl, { width: 360, height: 740 });
  check(response.status() === 200, `${periodsUrl} answers 200`);
  const seen = await page.evaluate(() => {
    const width = document.documentElement.clientWidth;
    const link = document.querySelector('#answer-jumps a[href="#calc"]');
    const box = link && link.getBoundingClientRect();
    const dates = [...document.querySelectorAll('.withdrawal-table td.release')].map((td) => {
      const r = td.getBoundingClientRect();
      return r.left >= 0 && r.right <= width;
    });
    const zone = document.querySelector('#release-zone');
    return { link: !!box && box.top >= 0 && box.bottom <= window.innerHeight, dates,
             zone: zone ? zone.textContent : '' };
  });
  check(seen.link, '360 px: the link to the calculator is in the first screen');
  check(seen.dates.length > 0 && seen.dates.every(Boolean),
        `360 px: each release date lies inside the viewport (${seen.dates.filter(Boolean).length} of ${seen.dates.length})`);
  check(/время сервера: \S+/.test(seen.zone), `the release dates name their zone ("${seen.zone}")`);
  await page.close();
}

// A publisher's refresh, base and foreign form do nothing, even with the page's policy bypassed:
// no navigation, and a listener at the address they name receives nothing.
if (process.env.HOSTILE_ITEM && process.env.HOSTILE_PORT) {
  let contacts = 0;
  const listener = net.createServer((socket) => { contacts += 1; socket.destroy(); });
  await new Promise((resolve) => listener.listen(Number(process.env.HOSTILE_PORT), '127.0.0.1', resolve));
  const url = '/item/' + process.env.HOSTILE_ITEM;
  const { page, response } = await open(url);
  check(response.status() === 200, `${url} answers 200`);
  await new Promise((resolve) => setTimeout(resolve, 2000));
  check(page.url() === base + url, `hostile markup: no refresh to another address (${page.url()})`);
  const left = await page.evaluate(() => ({
    base: document.querySelectorAll('base').length,
    refresh: document.querySelectorAll('meta[http-equiv]').length,
    forms: [...document.forms].map((f) => f.action).filter((a) => !a.startsWith(location.origin)),
  }));
  check(left.base === 0 && left.refresh === 0 && left.forms.length === 0,
        `hostile markup: no base, refresh or foreign form left (${JSON.stringify(left)})`);
  await page.focus('input[name="q"]');
  await page.keyboard.type('амоксициллин');
  await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.keyboard.press('Enter')]);
  check(page.url().startsWith(base + '/search?'), `hostile markup: the search form still asks this server (${page.url()})`);
  await page.close();
  await new Promise((resolve) => setTimeout(resolve, 500));
  check(contacts === 0, `hostile markup: the listener received nothing (${contacts} connections)`);
  await new Promise((resolve) => listener.close(resolve));
}

// The dose calculator with the keyboard alone: Tab to the species, Tab to the weight, type,
// Enter; the server's answer stands in the page, which stays free of serious violations.
let calcResultUrl = null;
{
  const calcItem = process.env.CALC_ITEM || '101';
  const { page } = await open('/item/' + calcItem);
  let onSpecies = false;
  for (let i = 0; i < 400 && !onSpecies; ++i) {
    await page.keyboard.press('Tab');
    onSpecies = await page.evaluate(() => document.activeElement && document.activeElement.id === 'calc-species');
  }
  check(onSpecies, `calculator: Tab reaches the species on /item/${calcItem}`);
  if (onSpecies) {
    await page.keyboard.press('Tab');
    const onWeight = await page.evaluate(() => document.activeElement && document.activeElement.id === 'calc-weight');
    check(onWeight, 'calculator: the weight field follows the species');
    await page.keyboard.type('12,5');
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.keyboard.press('Enter')]);
    calcResultUrl = page.url().replace(base, '');
    const amount = await page.$eval('#calc-result', (e) => {
      const a = e.querySelector('.dose-amount');
      return a ? a.textContent.trim() : '';
    }).catch(() => '');
    const quote = await page.$('#calc-result .source');
    check(/\d[^)]*мл/.test(amount) && !!quote, `calculator: the result is there with its quote ("${amount}")`);
  }
  await page.close();
}
for (const scheme of ['light', 'dark']) {
  for (const url of ['/item/' + (process.env.CALC_ITEM || '101'), calcResultUrl].filter(Boolean)) {
    const { page, response } = await open(url, { scheme });
    check(response.status() === 200, `${url} (${scheme}) answers 200`);
    await page.addScriptTag({ content: axeSource });
    const result = await page.evaluate(async () => {
      // eslint-disable-next-line no-undef
      const r = await axe.run(document, { resultTypes: ['violations'] });
      return r.violations.map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.length,
                                        target: v.nodes[0] && v.nodes[0].target.join(' ') }));
    });
    for (const v of result) console.log(`     ${scheme} calculator: ${v.impact} ${v.id} x${v.nodes} (${v.target})`);
    const bad = result.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    check(bad.length === 0, `${url} (${scheme}): no serious or critical accessibility violations`);
    await page.close();
  }
}
if (calcResultUrl) {
  const { page } = await open(calcResultUrl, { width: 360, height: 740 });
  const widths = await page.evaluate(() => ({
    scroll: document.documentElement.scrollWidth,
    client: document.documentElement.clientWidth,
  }));
  check(widths.scroll <= widths.client, `360 px: no horizontal scrolling with the calculator's result (${widths.scroll} <= ${widths.client})`);
  await page.close();
  audited.push(['calculator', calcResultUrl.split('#')[0] + '#calc']);
}

// Screenshots for people to look at.
for (const [w, h] of [[390, 844], [1280, 900]]) {
  for (const scheme of ['light', 'dark']) {
    for (const [name, url] of audited) {
      const { page } = await open(url, { width: w, height: h, scheme });
      await page.screenshot({ path: path.join(shotDir, `${name}-${w}-${scheme}.png`), fullPage: false });
      await page.close();
    }
  }
}

await browser.close();
if (failures.length) {
  console.error(`${failures.length} browser check(s) failed`);
  process.exit(1);
}
console.log('browser checks passed');
