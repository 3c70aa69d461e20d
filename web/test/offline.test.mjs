// The site without a network: kept by its service worker at the first visit, replaced when the
// site changes, installable, and honest when opened from a file on disk.

import assert from 'node:assert/strict';
import {cpSync, readFileSync, writeFileSync} from 'node:fs';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {finishSite} from '../build-site.mjs';
import {serve} from '../serve.mjs';

import {generate, launchChromium, siteDir, temporaryFolder} from './helpers.mjs';

let browser;
before(async () => {
  browser = await launchChromium();
});
after(() => browser?.close());

// A copy of the site, served, so that a test may change it.
async function servedCopy(t) {
  const site = path.join(temporaryFolder(t), 'site');
  cpSync(siteDir, site, {recursive: true});
  const server = await serve(site);
  t.after(() => server.close());
  return {site, origin: `http://127.0.0.1:${server.address().port}/`};
}

test(
    'after the first visit: reload and new page work offline; a rebuilt site replaces the kept one',
    async (t) => {
      const song = generate(temporaryFolder(t), 'song.evt', ['--seed', '31', '--seconds', '10']);
      const {site, origin} = await servedCopy(t);
      const context = await browser.newContext();
      t.after(() => context.close());
      const page = await context.newPage();
      await page.goto(origin);
      await page.waitForSelector('body[data-ready="true"]');
      await page.waitForFunction(() => navigator.serviceWorker.controller !== null);
      assert.match(await page.textContent('footer'), /works without a network/);

      await context.setOffline(true);
      const second = await context.newPage();
      for (const [tab, open] of [
               [page, () => page.reload()], [second, () => second.goto(origin)]]) {
        await open();
        await tab.waitForSelector('body[data-ready="true"]');
        await tab.setInputFiles('#files', song);
        await tab.waitForSelector('.card[data-state="done"]');
      }
      await second.close();
      await context.setOffline(false);

      const index = path.join(site, 'index.html');
      writeFileSync(
          index,
          readFileSync(index, 'utf8').replace('<h1>KORALUX</h1>', '<h1>KORALUX, rebuilt</h1>'));
      finishSite(site);
      await page.reload();
      await page.waitForSelector('#update:not([hidden])');  // the new version took over
      await page.click('#reload');
      await page.waitForSelector('body[data-ready="true"]');
      assert.equal(await page.textContent('h1'), 'KORALUX, rebuilt');
      assert.equal(
          (await page.evaluate(() => caches.keys())).length, 1, 'the old copy is kept too');
    });

test('the manifest makes the page installable', async (t) => {
  const {origin} = await servedCopy(t);
  const page = await (await browser.newContext()).newPage();
  t.after(() => page.context().close());
  await page.goto(origin);
  await page.waitForSelector('body[data-ready="true"]');
  const manifest = await (await page.request.get(origin + 'manifest.webmanifest')).json();
  assert.equal(manifest.short_name, 'KORALUX');
  for (const icon of manifest.icons) {
    const response = await page.request.get(origin + icon.src);
    assert.equal(response.headers()['content-type'], icon.type);
  }
  // Chromium's own verdict, as its install button uses it (a test's browser context counts as
  // a private window, where nothing is installed).
  const cdp = await page.context().newCDPSession(page);
  const {installabilityErrors} = await cdp.send('Page.getInstallabilityErrors');
  assert.deepEqual(installabilityErrors.filter((e) => e.errorId !== 'in-incognito'), []);
});

test('opened from a file on disk, it says why it cannot work and what to do', async (t) => {
  const page = await (await browser.newContext()).newPage();
  t.after(() => page.context().close());
  await page.goto(`file://${path.join(siteDir, 'index.html')}`);
  assert.match(
      await page.textContent('#engine-state'),
      /cannot work when it is opened as a file.*Open it from a web address/s);
  assert.ok(await page.isDisabled('#files'));
});
