// Walks through the demo store as a shopper in headless Chromium and saves
// full-page screenshots of the start, category, product, cart and empty-cart
// pages at a desktop and a phone width.
//   node screenshots.mjs BASE_URL OUT_DIR
// Stops with an error when a page answers badly, shows an element error, or
// loads a style sheet or image that fails.
import { chromium } from 'playwright-core';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [base, out] = process.argv.slice(2);
if (!base || !out) {
  console.error('usage: node screenshots.mjs BASE_URL OUT_DIR');
  process.exit(2);
}
mkdirSync(out, { recursive: true });

const widths = [
  { name: '1280', viewport: { width: 1280, height: 900 }, mobile: false },
  { name: '390', viewport: { width: 390, height: 844 }, mobile: true },
];

const problems = [];
for (const w of widths) {
  // A fresh profile for each width, so each walk starts as a new shopper.
  const profile = mkdtempSync(join(tmpdir(), 'orvel-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    viewport: w.viewport, isMobile: w.mobile, hasTouch: w.mobile,
  });
  try {
    const page = context.pages()[0] ?? await context.newPage();
    page.on('requestfailed', r => problems.push(`${w.name}: ${r.url()} failed`));
    page.on('response', r => { if (r.status() >= 400) problems.push(`${w.name}: ${r.url()} answered ${r.status()}`); });

    const shot = async (name) => {
      // Scroll through the page so lazily loaded pictures arrive, then wait
      // for every picture.
      await page.evaluate(async () => {
        for (let y = 0; y < document.body.scrollHeight; y += innerHeight) {
          scrollTo(0, y);
          await new Promise(r => setTimeout(r, 50));
        }
        scrollTo(0, 0);
        await Promise.all([...document.images].map(i => i.complete ? null : new Promise(r => { i.onload = i.onerror = r; })));
      });
      const html = await page.content();
      if (/<!--/.test(html)) problems.push(`${w.name} ${name}: the page holds an HTML comment (a template error?)`);
      if (/%OV/i.test(html)) problems.push(`${w.name} ${name}: the page shows an unrendered token`);
      await page.screenshot({ path: join(out, `${name}-${w.name}.png`), fullPage: true });
      console.log(`${name}-${w.name}.png  ${await page.title()}`);
    };
    const go = async (locator) => {
      await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), locator.click()]);
    };

    await page.goto(base, { waitUntil: 'load' });
    await shot('start');
    await page.fill('form.search input[name=search_spec]', 'tea');
    await go(page.locator('form.search button'));
    await shot('search');
    await go(page.locator('.pager a[rel=next]'));
    await shot('search-page-2');
    await page.fill('form.search input[name=search_spec]', 'zanzibar');
    await go(page.locator('form.search button'));
    await shot('no-matches');
    await go(page.locator('nav.menu a', { hasText: 'Tea' }));
    await shot('category');
    await go(page.locator('.card h3 a', { hasText: 'Darjeeling' }));
    await page.fill('input.qty', '2');
    await go(page.locator('form.add button'));
    await page.goto(`${base}cgi-bin/orvel?action=detail&item=K_KETTLE`, { waitUntil: 'load' });
    await shot('product');
    await go(page.locator('form.add button'));
    await shot('cart');
    await go(page.locator('form.empty-cart button'));
    await shot('confirm-empty');
    await go(page.locator('form.confirm button'));
    await page.goto(`${base}cgi-bin/orvel?action=view`, { waitUntil: 'load' });
    await shot('empty-cart');
  } finally {
    await context.close();
    rmSync(profile, { recursive: true, force: true });
  }
}
if (problems.length) {
  console.error(problems.join('\n'));
  process.exit(1);
}
