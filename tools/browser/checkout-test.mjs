// Buys from the demo store in headless Chromium as a shopper would: browse
// a category, add two products (one of them a download), check out with a
// missing field, see the store's message on the form, fix it, confirm and
// place the order.  Then checks the receipt's total, the order file, the
// two invoice mails in the mail sink and the download link.  A screenshot
// of every step goes to OUT_DIR.
//   node checkout-test.mjs BASE_URL STORE_DIR OUT_DIR
// Prints "N passed, N failed" and exits non-zero on any failure.
import { chromium } from 'playwright-core';
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [base, store, out] = process.argv.slice(2);
if (!base || !store || !out) {
  console.error('usage: node checkout-test.mjs BASE_URL STORE_DIR OUT_DIR');
  process.exit(2);
}
mkdirSync(out, { recursive: true });

let passed = 0, failed = 0;
const check = (ok, what) => {
  if (ok) { passed++; console.log(`ok      ${what}`); }
  else { failed++; console.log(`FAILED  ${what}`); }
};

// Messages in the sink's maildir, as text.
const mailDir = join(store, 'mail', 'new');
const mails = () => existsSync(mailDir) ? readdirSync(mailDir).map(f => readFileSync(join(mailDir, f), 'latin1')) : [];
const mailsBefore = mails().length;
const money = (text) => Number(String(text).replace(/[^0-9.]/g, ''));

const profile = mkdtempSync(join(tmpdir(), 'orvel-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  acceptDownloads: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  viewport: { width: 1280, height: 900 },
});
try {
  const page = context.pages()[0] ?? await context.newPage();
  const bad = [];
  page.on('response', r => { if (r.status() >= 400) bad.push(`${r.url()} answered ${r.status()}`); });
  let step = 0;
  const shot = async (name) => {
    const html = await page.content();
    check(!/<!--/.test(html) && !/%OV/i.test(html), `${name}: no template error on the page`);
    await page.screenshot({ path: join(out, `${String(++step).padStart(2, '0')}-${name}.png`), fullPage: true });
  };
  const go = async (locator) => {
    await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), locator.click()]);
  };

  // Browse and add two products: a book and the downloadable guide.
  await page.goto(base, { waitUntil: 'load' });
  await shot('start');
  await go(page.locator('nav.menu a', { hasText: 'Books' }));
  await shot('books');
  await go(page.locator('article.card', { hasText: 'The Tea Companion' }).locator('button'));
  await go(page.locator('a', { hasText: 'Continue shopping in Books' }));
  await go(page.locator('article.card', { hasText: 'Brewing Guide' }).locator('button'));
  await shot('cart');
  const cartTotal = money(await page.locator('tfoot .total').textContent());
  check(cartTotal === 23.95, `the cart holds both products ($${cartTotal})`);

  // Check out without a postcode: the store names it on the form.
  await go(page.locator('a.checkout'));
  await shot('checkout');
  await page.fill('#BILL_NAME', 'Ann Lee');
  await page.fill('#BILL_EMAIL', 'ann@example.org');
  await page.fill('#BILL_STREET', '1 Leaf Lane');
  await page.fill('#BILL_CITY', 'Teaford');
  await page.check('input[name=SHIP_METHOD][value=post]');
  await page.check('input[name=PAYMENT_METHOD][value=invoice]');
  await go(page.locator('form.checkout button[type=submit]'));
  await shot('missing-postcode');
  const problem = await page.locator('#form-problem').textContent().catch(() => '');
  check(/You didn't enter value\(s\) for\s+your postcode/.test(problem), `the form says what is missing: "${problem.trim()}"`);
  check(await page.locator('.field.problem #BILL_ZIP').count() === 1, 'the postcode field is marked');
  check(await page.inputValue('#BILL_NAME') === 'Ann Lee', 'what was typed is still there');

  // Fix it and confirm.
  await page.fill('#BILL_ZIP', 'TF1 2AB');
  await go(page.locator('form.checkout button[type=submit]'));
  await shot('confirm');
  const orderId = (await page.locator('#order-id').textContent()).trim();
  check(/^LB-\d+$/.test(orderId), `the confirmation page shows the order number ${orderId}`);
  check(money(await page.locator('#order-total').textContent()) === 23.95, 'the confirmation page shows the total');

  // Place the order.
  await go(page.locator('button', { hasText: 'Place the order' }));
  await shot('receipt');
  const receiptTotal = money(await page.locator('#order-total').textContent());
  check(receiptTotal === 23.95, `the receipt shows the total $${receiptTotal}`);
  check((await page.locator('#order-id').textContent()).trim() === orderId, 'the receipt names the same order');

  // The order file.
  const orderFile = join(store, 'catalog', 'orders', `${orderId}.txt`);
  const order = existsSync(orderFile) ? readFileSync(orderFile, 'utf8') : '';
  check(order.includes(`Order:    ${orderId}`) && order.includes('Total: $23.95') && order.includes('TF1 2AB'),
        `the order file ${orderFile} holds the order`);

  // The two invoices in the mail sink (msmtp hands them over before the
  // receipt is sent).
  const fresh = mails().slice(mailsBefore);
  const storeMail = fresh.find(m => /^To: orders@leafandbean\.example/m.test(m) && m.includes(orderId));
  const shopperMail = fresh.find(m => /^To: ann@example\.org/m.test(m) && m.includes(orderId));
  check(storeMail && storeMail.includes('Total: $23.95'), "the store's invoice arrived with the total");
  check(shopperMail && shopperMail.includes('Total: $23.95'), "the shopper's invoice arrived with the total");
  check(shopperMail && /\/pickups\/[A-Za-z0-9]{32}\/brewing-guide\.pdf/.test(shopperMail), "the shopper's invoice has the download link");

  // The download.
  const link = page.locator('a.download');
  check(await link.count() === 1, 'the receipt lists the download');
  const [download] = await Promise.all([page.waitForEvent('download'), link.click()]);
  const saved = join(out, 'downloaded-brewing-guide.pdf');
  await download.saveAs(saved);
  const expected = readFileSync(join(store, 'catalog', 'softgoods', 'brewing-guide.pdf'));
  check(download.suggestedFilename() === 'brewing-guide.pdf', `the download is named ${download.suggestedFilename()}`);
  check(Buffer.compare(readFileSync(saved), expected) === 0, 'the downloaded file is the guide');

  // The session is over: the cart is empty again.
  await page.goto(`${base}cgi-bin/orvel?action=view`, { waitUntil: 'load' });
  await shot('after-order');
  check(await page.locator('tfoot .total').count() === 0, 'the cart is empty after the order');
  check(bad.length === 0, `no request failed ${bad.join('; ')}`);
} catch (e) {
  failed++;
  console.log(`FAILED  ${e.message}`);
} finally {
  await context.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
