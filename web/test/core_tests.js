// The core compiled to WebAssembly, under Node, on q8sim through the page's
// own line (web/line.js): the texts, the deadlines and a transfer as the page
// gets them. Usage: node core_tests.js [NAME-PART]
'use strict';

const fs = require('fs');
const path = require('path');
const { Readable } = require('stream');
const { Line } = require('../line.js');
const { site, startSim, openPty, runTable, check, checkEqual } = require('./harness.js');

const createQ8Core = require(path.join(site, 'q8core.js'));
// The generated loader cannot fetch the .wasm under Node: it is handed in.
const wasmBinary = fs.readFileSync(path.join(site, 'q8core.wasm'));

// The page's side, written down instead of shown; every message is
// dismissed at once.
function recordingHost() {
    return {
        line: new Line(),
        rows: [],
        messages: [],
        offered: null,
        clearRows() { this.rows = []; },
        appendRow(name, size, modified) { this.rows.push({ name, size, modified }); },
        texts(status, error, total, free) { Object.assign(this, { status, error, total, free }); },
        async message(text) { this.messages.push(text); },
        progress() {},
        caption() {},
        endProgress() {},
        offer(name, bytes) { this.offered = { name, bytes: Buffer.from(bytes) }; },
    };
}

// One module on a fresh q8sim with `simArgs`; `body(core, host)`.
async function onSim(simArgs, body) {
    const sim = await startSim(simArgs);
    const host = recordingHost();
    const pty = openPty(sim.pty);
    host.line.attach({
        readable: Readable.toWeb(pty.input),
        writable: new WritableStream({ write: pty.write }),
        close: async () => pty.close(),
    });
    try {
        const core = await createQ8Core({ host, wasmBinary, print: () => {}, printErr: () => {} });
        const call = (name, types = [], args = []) =>
            core.ccall(name, 'number', types, args, { async: true });
        await body(call, host, core);
    } finally {
        await sim.stop();
        await host.line.close();
    }
}

async function timed(work) {
    const started = performance.now();
    const result = await work();
    return { result, ms: performance.now() - started };
}

const NO_DEVICE = '没有在串口上找到设备！';

const cases = [
    {
        name: 'lists Chinese names, sizes and the space texts',
        sim: ['--file', '语文第一册.bin=70000', '--file', '数学.bin=1536'],
        async run(c) {
            await onSim(c.sim, async (call, host) => {
                checkEqual(await call('q8_refresh'), 1, 'refresh');
                checkEqual(host.rows.map((r) => [r.name, r.size]),
                           [['语文第一册.bin', '68.36*8Kbits'], ['数学.bin', '1.50*8Kbits']], 'rows');
                checkEqual([host.total, host.error], ['空间共计:4.00*8Mbits', false], 'texts');
            });
        },
    },
    ...[
        // The greeting's 500 ms deadline ends with the link's next 401 ms
        // wait; a reply complete inside that wait still counts.
        { what: 'silent', fault: 'hello:0:no-reply', ok: 0, min: 500, max: 950 },
        { what: 'late inside the last wait', fault: 'hello:1:delay:700', ok: 1, min: 700, max: 950 },
        { what: 'late past the last wait', fault: 'hello:1:delay:1100', ok: 0, min: 500, max: 950 },
    ].map((row) => ({
        name: `greeting ${row.what}`,
        async run() {
            await onSim(['--fault', row.fault], async (call, host) => {
                const { result, ms } = await timed(() => call('q8_refresh'));
                checkEqual(result, row.ok, 'refresh');
                check(ms >= row.min && ms <= row.max, `took ${ms} ms`);
                if (!row.ok) {
                    checkEqual([host.status, host.error], [NO_DEVICE, true], 'status');
                }
            });
        },
    })),
    {
        name: 'replies in pieces',
        sim: ['--file', 'a.bin=100', '--fault', 'card-info:0:split:3:30',
              '--fault', 'dir-entry:0:split:4:20', '--fault', 'hello:0:split:2:50'],
        async run(c) {
            await onSim(c.sim, async (call, host) => {
                checkEqual(await call('q8_refresh'), 1, 'refresh');
                checkEqual(host.rows.map((r) => r.name), ['a.bin'], 'rows');
            });
        },
    },
    {
        name: 'a file of three blocks there and back',
        async run() {
            await onSim([], async (call, host, core) => {
                // 1300 bytes: two whole blocks and a part.
                const bytes = Buffer.from(Array.from({ length: 1300 }, (_, i) => (i * 7) & 0xff));
                core.FS.mkdirTree('/download/0');
                core.FS.writeFile('/download/0/测试.bin', bytes);
                call('q8_clear_download_rows');
                await call('q8_add_download_row', ['string', 'string'], ['测试.bin', '/download/0']);
                checkEqual(await call('q8_download'), 0, 'download');
                checkEqual(host.rows.map((r) => [r.name, r.size]), [['测试.bin', '1.27*8Kbits']], 'rows');
                await call('q8_mark', ['number'], [0]);
                checkEqual(await call('q8_upload'), 0, 'upload');
                checkEqual(host.offered.name, '测试.bin', 'offered name');
                check(host.offered.bytes.equals(bytes), 'uploaded bytes differ');
                checkEqual(host.messages, [], 'messages');
            });
        },
    },
    {
        name: 'uploads files whose names are no file names in the page\'s folder',
        sim: ['--file', 'a/b.bin=100', '--file', '..=50'],
        async run(c) {
            await onSim(c.sim, async (call, host) => {
                await call('q8_refresh');
                for (const [row, name, size] of [[0, 'a/b.bin', 100], [1, '..', 50]]) {
                    await call('q8_mark', ['number'], [row]);
                    checkEqual(await call('q8_upload'), 0, `upload of ${name}`);
                    checkEqual([host.offered.name, host.offered.bytes.length], [name, size], 'offered');
                }
            });
        },
    },
];

runTable('core', cases, process.argv[2]).then((ok) => process.exit(ok ? 0 : 1));
