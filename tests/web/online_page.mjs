// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Quorvane developers
// Browser test of the online page: Debian's Chromium, driven by playwright-core, loads the
// page from the real control server (tests/server/online_page_host), adds two entries
// through a stand-in file dialog, burns them onto a folder-backed drive, follows the run
// to its end, starts the drive in a stand-in virtual machine and finishes the program. Screenshots go to QUORVANE_SCREENSHOTS.
import { spawn } from 'node:child_process';
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';

const host = process.env.QUORVANE_PAGE_HOST;
const shots = process.env.QUORVANE_SCREENSHOTS || '';
const chromiumPath = process.env.QUORVANE_CHROMIUM || '/usr/bin/chromium';

let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch {
  console.error('playwright-core is missing: run "npm ci" in tests/web (./scripts/test.sh does)');
  process.exit(1);
}
assert.ok(host, 'QUORVANE_PAGE_HOST names the test host program');
assert.ok(fs.existsSync(chromiumPath), `no Chromium at ${chromiumPath}`);

const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'quorvane-web-'));
const drive = path.join(tmp, 'drive');
const images = path.join(tmp, 'images');
fs.mkdirSync(drive);
fs.mkdirSync(images);
const ubuntu = path.join(images, 'ubuntu-22.04.4-desktop-amd64.iso');
const hirens = path.join(images, 'HBCD_PE_x64.iso');
fs.writeFileSync(ubuntu, Buffer.alloc(3 * 1048576, 1));
fs.writeFileSync(hirens, Buffer.alloc(1572864, 2));

// The stand-in dialog prints whatever the test put into "answer".
const answer = path.join(tmp, 'answer');
const dialog = path.join(tmp, 'dialog.sh');
fs.writeFileSync(dialog, `#!/bin/sh\nprintf '%s\\n' "$*" >> '${tmp}/dialog-args'\ncat '${answer}'\n`);
fs.chmodSync(dialog, 0o755);
// What the host's stand-in virtual machine finds installed: "none", "bios" (no OVMF) or "all".
const vmTools = path.join(tmp, 'vm-tools');
fs.writeFileSync(vmTools, 'none\n');
const noQemu = 'QEMU is not installed: install the package qemu-system-x86';
const noOvmf = 'The UEFI firmware for virtual machines is not installed: install the package ovmf';

let passed = 0;
let failed = 0;
let hostProcess;
let context;
const hostOutput = [];

function check(name, fn) {
  return Promise.resolve()
    .then(fn)
    .then(() => { passed++; console.log(`ok - ${name}`); },
          (error) => { failed++; console.log(`not ok - ${name}\n  ${String(error.stack || error).replace(/\n/g, '\n  ')}`); throw error; });
}

let hostToken = '';
async function startHost() {
  hostProcess = spawn(host, [drive], {
    env: { ...process.env, QUORVANE_FILE_DIALOG: dialog, QUORVANE_VM_TOOLS: vmTools },
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  const lines = readline.createInterface({ input: hostProcess.stdout });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('the host did not start')), 20000);
    lines.on('line', (line) => {
      hostOutput.push(line);
      const t = /^TOKEN ([0-9a-f]+)$/.exec(line);
      if (t) hostToken = t[1];
      const m = /^PORT (\d+)$/.exec(line);
      if (m) { clearTimeout(timer); resolve(Number(m[1])); }
    });
    hostProcess.on('exit', (code) => reject(new Error(`the host ended early with ${code}`)));
  });
}

// The host's lines that start a virtual machine, once `count` of them have come.
async function vmStarts(count) {
  for (let i = 0; i < 200; i++) {
    const starts = hostOutput.filter((line) => line.startsWith('VMTEST '));
    if (starts.length >= count) return starts;
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return hostOutput.filter((line) => line.startsWith('VMTEST '));
}

function hostExit() {
  return new Promise((resolve) => {
    if (hostProcess.exitCode !== null) return resolve(hostProcess.exitCode);
    hostProcess.on('exit', (code) => resolve(code));
  });
}

async function shot(page, name) {
  if (!shots) return;
  fs.mkdirSync(shots, { recursive: true });
  await page.screenshot({ path: path.join(shots, name), fullPage: true });
}

async function chooseImage(page, index, type, file) {
  const entry = page.locator('.entry').nth(index);
  await entry.locator('select').selectOption({ label: type });
  fs.writeFileSync(answer, file + '\n');
  await entry.locator('.file-btn').click();
  await entry.locator('.file-btn', { hasText: path.basename(file) }).waitFor();
}

let exitCode = 1;
try {
  const port = await startHost();
  const origin = `http://127.0.0.1:${port}`;
  context = await chromium.launchPersistentContext(path.join(tmp, 'profile'), {
    executablePath: chromiumPath,
    headless: true,
    viewport: { width: 960, height: 860 },
    colorScheme: 'dark',
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run'],
  });
  const page = context.pages()[0] || await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (e) => pageErrors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') pageErrors.push(m.text()); });
  // Everything the page loads comes from this server.
  const foreign = [];
  page.on('request', (r) => { if (!r.url().startsWith(origin) && !r.url().startsWith('data:')) foreign.push(r.url()); });

  await check('the page loads and lists the drive with device and model', async () => {
    await page.goto(origin + '/?token=' + hostToken);
    await page.locator('#driveSelect option', { hasText: 'e:\\, MULTIBOOT, FAT32' }).waitFor({ state: 'attached' });
    await page.locator('.chip', { hasText: '/dev/sdx1' }).waitFor();
    await page.locator('.chip', { hasText: 'Kingston DataTraveler 3.0' }).waitFor();
    await page.locator('.chip', { hasText: '/dev/sdx (/dev/sdx1)' }).waitFor();
    assert.equal(await page.locator('#barText').textContent(), '0.95 GiB / 7.45 GiB');
  });

  const vmBios = page.locator('#vmButtons button[data-firmware="BIOS"]');
  const vmUefi = page.locator('#vmButtons button[data-firmware="UEFI"]');
  await check('the virtual-machine buttons say what to install, then start the drive', async () => {
    await page.locator('#vmHint', { hasText: noQemu }).waitFor();
    assert.equal(await vmBios.getAttribute('title'), noQemu);
    assert.equal(await vmUefi.getAttribute('title'), noQemu);
    assert.equal(await vmBios.getAttribute('aria-label'), 'Test the drive in a virtual machine under BIOS');
    assert.equal(await vmBios.isEnabled(), true, 'a click tells what to install');
    await vmBios.click();
    await page.locator('#dlgBody', { hasText: noQemu }).waitFor();
    await page.locator('#dlgButtons button', { hasText: 'OK' }).click();
    assert.deepEqual(await vmStarts(0), []);
    // QEMU installed meanwhile, OVMF not: the click finds it out.
    fs.writeFileSync(vmTools, 'bios\n');
    await vmUefi.click();
    await page.locator('#dlgBody', { hasText: noOvmf }).waitFor();
    await page.locator('#dlgButtons button', { hasText: 'OK' }).click();
    await page.locator('#vmHint', { hasText: noOvmf }).waitFor();
    assert.equal(await vmUefi.getAttribute('title'), noOvmf);
    await shot(page, 'online-page-vm-tools.png');
    assert.match(await vmBios.getAttribute('title'), /under BIOS to look at its menus/);
    await vmBios.click();
    await page.locator('#toast', { hasText: 'Virtual machine started (BIOS)' }).waitFor();
    // Everything there; the keyboard starts UEFI.
    fs.writeFileSync(vmTools, 'all\n');
    await vmUefi.focus();
    await page.keyboard.press('Enter');
    assert.deepEqual(await vmStarts(2), ['VMTEST e BIOS', 'VMTEST e UEFI']);
    await page.locator('#toast', { hasText: 'Virtual machine started (UEFI)' }).waitFor();
    assert.equal(await page.locator('#vmHint').textContent(), '');
    await page.locator('#toast.show').waitFor({ state: 'hidden', timeout: 10000 });
  });

  await check('entries take their images from the file dialog', async () => {
    await page.locator('#addBtn').click();
    await chooseImage(page, 0, 'Ubuntu 32/64 bit', ubuntu);
    await page.locator('.entry').nth(0).locator('.chip', { hasText: '3.00 MiB on the drive' }).waitFor();
    await page.locator('#addBtn').click();
    await chooseImage(page, 1, "Hiren's Boot CD", hirens);
    const args = fs.readFileSync(path.join(tmp, 'dialog-args'), 'utf8');
    assert.match(args, /--title=Select "Ubuntu 32\/64 bit" ISO file/);
    assert.match(args, /--title=Select "Hiren's Boot CD" ISO file/);
    assert.equal(await page.locator('#barText').textContent(), '0.96 GiB / 7.45 GiB');
    assert.equal(await page.locator('#goBtn').textContent(), 'Add loaders to USB');
    await shot(page, 'online-page.png');
  });

  await check('nothing starts before the warning is confirmed', async () => {
    await page.locator('#goBtn').click();
    await page.locator('#dlgBody', { hasText: 'Master Boot Code of selected drive will be overwritten.' }).waitFor();
    await page.locator('#dlgBody', { hasText: "It's safe for your data" }).waitFor();
    await page.locator('#dlgBody', { hasText: 'By continuing, you accept the License Agreement Terms' }).waitFor();
    await page.locator('#dlgButtons button', { hasText: 'No!' }).click();
    assert.equal(fs.existsSync(path.join(drive, 'Quorvane')), false);
    assert.equal(await page.locator('#checkCapacity').isVisible(), false);
    // The read-back is on unless turned off, in either mode.
    assert.equal(await page.locator('#verifyWrites').isVisible(), true);
    assert.equal(await page.locator('#verifyWrites').isChecked(), true);
    await page.locator('.seg button[data-mode="New"]').click();
    assert.equal(await page.locator('#goBtn').textContent(), 'Create bootable USB');
    assert.equal(await page.locator('#checkCapacity').isVisible(), true);
    assert.equal(await page.locator('#checkCapacity').isChecked(), false);
    await page.locator('#goBtn').click();
    await page.locator('#dlgBody', { hasText: 'Formating will erase ALL data on this disk!' }).waitFor();
    // The same device, vendor, model, size and label as the window and quorvane-cli name.
    await page.locator('#dlgBody .drive-line', {
      hasText: 'Drive: /dev/sdx (/dev/sdx1), Kingston DataTraveler 3.0, 7.45 GiB, label "MULTIBOOT"' }).waitFor();
    await page.waitForTimeout(400);  // the dialog's opening animation
    await shot(page, 'online-page-confirm.png');
    await page.locator('#dlgButtons button', { hasText: 'No!' }).click();
    await page.locator('.seg button[data-mode="Add"]').click();
  });

  await check('a burn runs to its end with progress, speed and time left per entry, its rows always visible', async () => {
    // The rows' opacity, sampled from inside the page every 50 ms while the burn runs:
    // rows drawn anew on every poll would restart their fade-in and be mostly invisible.
    // The virtual-machine buttons are sampled with them: disabled while the burn runs.
    await page.evaluate(() => {
      window.__opacity = [];
      window.__vm = [];
      window.__sampler = setInterval(() => {
        document.querySelectorAll('.entry').forEach((row) => {
          window.__opacity.push(Number(getComputedStyle(row).opacity));
        });
        const buttons = [...document.querySelectorAll('#vmButtons button')];
        window.__vm.push({ go: document.getElementById('goBtn').textContent,
                           enabled: buttons.filter((b) => !b.disabled).length,
                           title: buttons[0].title });
      }, 50);
    });
    await page.locator('#goBtn').click();
    await page.locator('#dlgButtons button', { hasText: 'Yes' }).click();
    await page.locator('.entry.running .status', { hasText: /Running — [1-9]/ }).first().waitFor({ timeout: 30000 });
    await page.locator('.entry.running .status', { hasText: /MB\/s, \d+ s left/ }).first().waitFor({ timeout: 30000 });
    await shot(page, 'online-page-burning.png');
    await page.locator('#goBtn', { hasText: 'Continue' }).waitFor({ timeout: 60000 });
    const samples = await page.evaluate(() => { clearInterval(window.__sampler); return window.__opacity; });
    const burning = (await page.evaluate(() => window.__vm)).filter((v) => v.go === 'Stop');
    assert.ok(burning.length >= 5, `only ${burning.length} samples during the burn`);
    for (const v of burning) {
      assert.equal(v.enabled, 0, 'a virtual-machine button is enabled during the burn');
      assert.equal(v.title, 'Not while a burn is under way');
    }
    assert.ok(samples.length >= 20, `only ${samples.length} samples`);
    const faint = samples.filter((o) => o < 0.9).length;
    assert.ok(faint === 0, `${faint} of ${samples.length} samples of the rows were faded: ${samples.join(' ')}`);
    assert.equal(await page.locator('.entry .status.ok', { hasText: 'Finished' }).count(), 2);
    const menu = fs.readFileSync(path.join(drive, 'menu.lst'), 'latin1');
    assert.match(menu, /title ubuntu_22\.04\.4_desktop_amd64/);
    assert.match(menu, /title HBCD_PE_x64/);
    assert.equal(fs.readdirSync(path.join(drive, 'Quorvane')).length, 2);
    await page.waitForTimeout(400);
    await shot(page, 'online-page-finished.png');
    // The same page for a desktop that prefers light.
    await page.emulateMedia({ colorScheme: 'light' });
    await page.waitForTimeout(200);
    await shot(page, 'online-page-light.png');
    await page.emulateMedia({ colorScheme: 'dark' });
    // The drive just written, in a virtual machine.
    assert.equal(await vmBios.isEnabled(), true, 'after the burn');
    await vmBios.click();
    assert.deepEqual((await vmStarts(3)).slice(2), ['VMTEST e BIOS']);
  });

  await check('"Check drive" reads the drive back and lists each entry with its state', async () => {
    // An entry as a burn records it: its file, and the manifest with its checksum over
    // the entries as the program writes them (members in name order, no spaces).
    const id = '0A6F1C2E-0000-4000-8000-00000000000A';
    const content = Buffer.alloc(200000, 7);
    fs.mkdirSync(path.join(drive, 'Quorvane', id));
    fs.writeFileSync(path.join(drive, 'Quorvane', id, 'rescue.iso'), content);
    const sha = (data) => crypto.createHash('sha256').update(data).digest('hex');
    const entries = [{ entry: id, files: [{ file: `Quorvane/${id}/rescue.iso`, sha256: sha(content), size: content.length }],
      loader: 6, time: '2026-12-11T04:20:00Z', title: 'rescue.iso' }];
    fs.writeFileSync(path.join(drive, 'Quorvane', 'manifest.json'),
      JSON.stringify({ format: 1, entries, checksum: sha(JSON.stringify(entries)) }));
    await page.locator('#checkDriveBtn').focus();
    await page.keyboard.press('Enter');
    await page.locator('#dlgBody .checks li', { hasText: 'rescue.iso' }).locator('.state.intact').waitFor();
    await page.locator('#dlgBody', { hasText: 'The entry is intact.' }).waitFor();
    // The burn's own two entries, which this hand-made manifest does not name.
    assert.equal(await page.locator('#dlgBody .checks .state.not-recorded').count(), 2);
    await page.waitForTimeout(400);
    await shot(page, 'online-page-drive-check.png');
    await page.locator('#dlgButtons button', { hasText: 'Close' }).click();

    const flipped = Buffer.from(content); flipped[123456] ^= 1;
    fs.writeFileSync(path.join(drive, 'Quorvane', id, 'rescue.iso'), flipped);
    await page.locator('#checkDriveBtn').click();
    const changed = page.locator('#dlgBody .checks li', { hasText: 'rescue.iso' });
    await changed.locator('.state.changed').waitFor();
    assert.match(await changed.locator('.detail').textContent(), /rescue\.iso differs from what was written/);
    await page.locator('#dlgBody .danger-line', { hasText: '0 of 1 entry intact: 1 changed, 0 missing.' }).waitFor();
    await page.locator('#dlgButtons button', { hasText: 'Close' }).click();
  });

  await check('"Close App" ends the program with FinishWorks', async () => {
    await page.locator('#finishBtn').click();
    await page.locator('#dlgButtons button', { hasText: 'Close' }).click();
    await page.locator('#endedView').waitFor();
    assert.equal(await hostExit(), 0);
    assert.ok(hostOutput.includes('FINISHED'), hostOutput.join('\n'));
  });

  await check('no script errors and nothing loaded from elsewhere', async () => {
    assert.deepEqual(pageErrors, []);
    assert.deepEqual(foreign, []);
  });
  exitCode = 0;
} catch (error) {
  if (!failed) { failed++; console.log(`not ok - ${String(error.stack || error)}`); }
} finally {
  if (context) await context.close().catch(() => {});
  if (hostProcess && hostProcess.exitCode === null) hostProcess.kill('SIGTERM');
  fs.rmSync(tmp, { recursive: true, force: true });
  console.log(`${passed} passed, ${failed} failed`);
  process.exit(failed ? 1 : exitCode);
}
