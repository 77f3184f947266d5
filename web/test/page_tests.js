// The page in headless Chromium, its serial port a stand-in (serial-double.js)
// bridged over a WebSocket to a q8sim of its own per opened port.
// Usage: node page_tests.js [--screenshot PNG] [NAME-PART]
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const WebSocket = require('ws');
const { site, startSim, openPty, runTable, check, checkEqual } = require('./harness.js');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css',
                '.wasm': 'application/wasm' };

// The page's folder over HTTP, and the bridge: one q8sim per WebSocket.
function startServer() {
    const server = http.createServer((req, res) => {
        const name = path.basename(new URL(req.url, 'http://x').pathname) || 'index.html';
        fs.readFile(path.join(site, name), (error, data) => {
            res.writeHead(error ? 404 : 200, { 'Content-Type': TYPES[path.extname(name)] || 'text/plain' });
            res.end(data);
        });
    });
    // The handshake ends once q8sim is up, so the page's port opens on a
    // device that hears its first frame.
    const bridge = new WebSocket.Server({ noServer: true });
    server.on('upgrade', async (req, socket, head) => {
        const sim = await startSim(JSON.parse(new URL(req.url, 'http://x').searchParams.get('sim')));
        const pty = openPty(sim.pty);
        bridge.handleUpgrade(req, socket, head, (ws) => {
            pty.input.on('data', (bytes) => ws.send(bytes));
            pty.input.on('error', () => ws.close());
            ws.on('message', (bytes) => pty.write(bytes));
            ws.on('close', async () => {
                await sim.stop();
                pty.close();
            });
        });
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// The DevTools protocol over one WebSocket; page commands go to `session`.
class Browser {
    static async launch(profile) {
        const proc = childProcess.spawn('chromium', [
            '--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-sync',
            '--disable-background-networking', '--disable-component-update', '--disable-quic',
            `--user-data-dir=${profile}`, '--remote-debugging-port=0',
            'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
        process.on('exit', () => proc.kill());
        const url = await new Promise((resolve, reject) => {
            let seen = '';
            proc.stderr.on('data', (text) => {
                seen += text;
                const found = seen.match(/DevTools listening on (ws:\S+)/);
                if (found) {
                    resolve(found[1]);
                }
            });
            proc.once('exit', () => reject(new Error(`chromium ended: ${seen}`)));
        });
        const browser = new Browser(proc, new WebSocket(url));
        await new Promise((resolve) => browser.ws.once('open', resolve));
        const { targetInfos } = await browser.send('Target.getTargets');
        const page = targetInfos.find((t) => t.type === 'page');
        ({ sessionId: browser.session } =
            await browser.send('Target.attachToTarget', { targetId: page.targetId, flatten: true }));
        await browser.page('Page.enable');
        await browser.page('Runtime.enable');
        await browser.page('Emulation.setDeviceMetricsOverride',
            { width: 820, height: 640, deviceScaleFactor: 1, mobile: false });
        return browser;
    }

    constructor(proc, ws) {
        Object.assign(this, { proc, ws, next: 1, pending: new Map(), script: null });
        this.log = [];  // the page's errors, told with a failed case
        ws.on('message', (text) => {
            const reply = JSON.parse(text);
            if (reply.method === 'Runtime.exceptionThrown') {
                this.log.push(reply.params.exceptionDetails.exception.description);
            } else if (reply.method === 'Runtime.consoleAPICalled' && reply.params.type === 'error') {
                this.log.push(reply.params.args.map((a) => a.value || a.description).join(' '));
            }
            const waiting = this.pending.get(reply.id);
            if (waiting) {
                this.pending.delete(reply.id);
                reply.error ? waiting.reject(new Error(reply.error.message)) : waiting.resolve(reply.result);
            }
        });
    }

    send(method, params = {}, sessionId = undefined) {
        const id = this.next++;
        this.ws.send(JSON.stringify({ id, method, params, sessionId }));
        return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
    }

    page(method, params) {
        return this.send(method, params, this.session);
    }

    async eval(expression) {
        const { result, exceptionDetails } = await this.page('Runtime.evaluate',
            { expression, awaitPromise: true, returnByValue: true });
        check(!exceptionDetails, `${expression}: ${JSON.stringify(exceptionDetails)}`);
        return result.value;
    }

    async waitFor(expression, timeoutMs = 20000) {
        const end = Date.now() + timeoutMs;
        for (;;) {
            const value = await this.eval(expression);
            if (value) {
                return value;
            }
            check(Date.now() < end, `waited ${timeoutMs} ms for ${expression}`);
            await new Promise((resolve) => setTimeout(resolve, 20));
        }
    }

    // The page afresh, with the serial stand-in configured by `double`.
    async open(url, double) {
        if (this.script) {
            await this.page('Page.removeScriptToEvaluateOnNewDocument', { identifier: this.script });
        }
        const source = fs.readFileSync(path.join(__dirname, 'serial-double.js'), 'utf8');
        ({ identifier: this.script } = await this.page('Page.addScriptToEvaluateOnNewDocument',
            { source: `${source}\ninstallSerialDouble(${JSON.stringify(double)});` }));
        await this.page('Page.navigate', { url });
        await this.waitFor(`document.readyState === 'complete' &&
            (document.body.classList.contains('ready') || !$('unsupported').hidden)`);
    }

    click(id) {
        return this.eval(`$('${id}').click()`);
    }

    idle() {
        return this.waitFor("!document.body.classList.contains('busy')", 60000);
    }

    rows(table) {
        return this.eval(`[...$('${table}').tBodies[0].rows].map((r) =>
            [...r.cells].map((c) => c.textContent))`);
    }

    // The message box's text, after pressing its OK.
    async message() {
        const text = await this.waitFor("$('message').open && $('message-text').textContent");
        await this.click('message-ok');
        return text;
    }

    async chooseFiles(files) {
        const { root } = await this.page('DOM.getDocument', { depth: 0 });
        const { nodeId } = await this.page('DOM.querySelector', { nodeId: root.nodeId, selector: '#files' });
        await this.page('DOM.setFileInputFiles', { nodeId, files });
    }

    async screenshot(file) {
        const { data } = await this.page('Page.captureScreenshot', { format: 'png' });
        fs.writeFileSync(file, Buffer.from(data, 'base64'));
    }

    close() {
        this.proc.kill();
        return new Promise((resolve) => this.proc.once('exit', resolve));
    }
}

const NO_DEVICE = '没有在串口上找到设备！';

function pattern(length, seed) {
    return Buffer.from(Array.from({ length }, (_, i) => (i * seed + (i >> 8)) & 0xff));
}

async function waitForFile(file) {
    for (let tries = 0; !fs.existsSync(file); tries++) {
        check(tries < 200, `no browser download ${file}`);
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    return fs.readFileSync(file);
}

// Each case: the stand-in's q8sim arguments (or a page without Web Serial),
// and what to do and see.
const LISTED = ['--file', '语文第一册.bin=70000', '--file', '数学.bin=1536'];

const names = async (b, table) => (await b.rows(table)).map((r) => r.slice(0, 2));
const status = (b) => b.eval("[$('status').textContent, $('status').className]");
const mark = (b, row) => b.eval(`$('cartridge-list').tBodies[0].rows[${row}].cells[0].click()`);

async function connect(b) {
    await b.click('connect');
    await b.idle();
}

// The host files of a case, in its own folder.
function hostFiles(b, files) {
    return files.map(([name, bytes]) => {
        const file = path.join(b.work, name);
        fs.writeFileSync(file, bytes);
        return file;
    });
}

async function chooseFiles(b, files) {
    await b.chooseFiles(hostFiles(b, files));
    await b.waitFor(`$('download-list').tBodies[0].rows.length === ${files.length}`);
}

// Each row: the stand-in's q8sim arguments (or a page without Web Serial),
// and what to do and see.
const cases = [
    {
        name: 'lists Chinese names and the space once 连接 has chosen the port',
        double: { sim: LISTED },
        async run(b) {
            await connect(b);
            checkEqual(await names(b, 'cartridge-list'),
                       [['语文第一册.bin', '68.36*8Kbits'], ['数学.bin', '1.50*8Kbits']], 'rows');
            checkEqual(await b.eval("[$('total-space').textContent, $('free-space').textContent]"),
                       ['空间共计:4.00*8Mbits', '空闲空间:3.91*8Mbits'], 'space');
            checkEqual(await status(b), ['', ''], 'status');
            checkEqual(await b.eval('window.serialPort.options'), { baudRate: 115200, dataBits: 8,
                stopBits: 1, parity: 'none', flowControl: 'none', bufferSize: 2048 }, 'line');
        },
    },
    {
        name: 'lets the port go for another 连接 and when the page closes',
        double: { sim: LISTED },
        async run(b) {
            await connect(b);
            await connect(b);
            await b.eval("window.dispatchEvent(new PageTransitionEvent('pagehide'))");
            await b.waitFor('navigator.serial.closed === 2');
        },
    },
    {
        name: 'lists at start-up on the port granted before',
        double: { sim: LISTED, granted: true },
        async run(b) {
            await b.waitFor('document.body.dataset.firstListingMs');
            checkEqual((await names(b, 'cartridge-list')).length, 2, 'rows');
        },
    },
    {
        name: 'downloads two files, and uploads each back as a browser download',
        double: { sim: [] },
        async run(b) {
            const files = [['中文课本.bin', pattern(3000, 7)], ['b.bin', pattern(600, 13)]];
            await connect(b);
            await chooseFiles(b, files);
            checkEqual(await b.eval("$('download-total-label').textContent + $('download-total').textContent"),
                       '共计占用空间:32.00*8Kbits', 'download list total');
            await b.click('download');
            await b.idle();
            checkEqual(await names(b, 'cartridge-list'),
                       [['中文课本.bin', '2.93*8Kbits'], ['b.bin', '600*8bits']], 'cartridge');
            if (b.shot) {
                await b.screenshot(b.shot);
            }
            for (const [row, [name, bytes]] of files.entries()) {
                await mark(b, row);
                await b.click('upload');
                await b.idle();
                check((await waitForFile(path.join(b.downloads, name))).equals(bytes), `${name} differs`);
            }
        },
    },
    {
        name: 'deletes the marked last file, then erases the recorded voice',
        double: { sim: ['--file', 'a.bin=1000', '--file', 'b.bin=2000'] },
        async run(b) {
            await connect(b);
            await mark(b, 1);
            await b.click('delete');
            await b.idle();
            checkEqual(await names(b, 'cartridge-list'), [['a.bin', '1000*8bits']], 'rows');
            await b.click('erase-voice');
            await b.idle();
            checkEqual(await status(b), ['擦除完成！', ''], 'status');
        },
    },
    {
        name: 'a greeting later than its deadline shows as no device, in red',
        double: { sim: ['--fault', 'hello:1:delay:1100'] },
        async run(b) {
            await connect(b);
            checkEqual(await status(b), [NO_DEVICE, 'error'], 'status');
        },
    },
    {
        name: 'an adapter pulled out mid-transfer ends it with the no-reply texts',
        double: { sim: ['--line-rate'] },
        async run(b) {
            await connect(b);
            await chooseFiles(b, [['long.bin', pattern(65536, 3)]]);
            await b.click('download');
            await b.waitFor("$('progress-bar').value > 0");
            await b.eval('window.serialPort.unplug()');
            // A block's missing reply, as from a device that stopped answering.
            checkEqual(await b.message(), '在下载中传输数据出错！请重试', 'message');
            await b.idle();
            await b.click('refresh');
            await b.idle();
            checkEqual(await status(b), [NO_DEVICE, 'error'], 'status');
        },
    },
    {
        name: 'a browser without Web Serial is told which ones work',
        double: { absent: true },
        async run(b) {
            checkEqual(await b.eval("[$('app').hidden, $('unsupported').hidden]"), [true, false], 'shown');
            check((await b.eval("$('unsupported').textContent")).includes('Chrome'), 'no browser named');
        },
    },
];

async function main() {
    const args = process.argv.slice(2);
    const shot = args[0] === '--screenshot' ? path.resolve(args.splice(0, 2)[1]) : null;
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'q8web-'));
    const server = await startServer();
    const browser = await Browser.launch(path.join(work, 'profile'));
    const base = `http://127.0.0.1:${server.address().port}`;
    const downloads = path.join(work, 'downloads');
    await browser.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    Object.assign(browser, { work, downloads, shot });
    for (const c of cases) {
        const run = c.run;
        c.run = async () => {
            browser.log = [];
            await browser.open(`${base}/index.html`, { ...c.double, bridge: `ws://127.0.0.1:${server.address().port}/serial` });
            try {
                await run(browser, c);
            } catch (error) {
                error.message += browser.log.map((line) => `\n    page: ${line}`).join('');
                throw error;
            }
        };
    }
    const ok = await runTable('page', cases, args[0]);
    await browser.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
    process.exit(ok ? 0 : 1);
}

if (require.main === module) {
    main();
}

module.exports = { Browser, startServer };
