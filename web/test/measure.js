// The page's figures: the size of its files, its start-up to the first
// listing, and a 256 KiB download against `q8sim --line-rate` through the page
// and through the CLI, runs alternating. Usage (after scripts/web-build.sh):
//   NODE_PATH=/usr/share/nodejs node web/test/measure.js [RUNS]
'use strict';

const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { root, site, startSim } = require('./harness.js');
const { Browser, startServer } = require('./page_tests.js');

const runs = Number(process.argv[2] || 3);
const cli = process.env.Q8_CLI || path.join(root, 'build/cli/q8loader-cli');
const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

async function cliDownload(file) {
    const sim = await startSim(['--line-rate']);
    const started = performance.now();
    const proc = childProcess.spawn(cli, ['--port', sim.pty, 'download', file], { stdio: 'inherit' });
    const code = await new Promise((resolve) => proc.once('exit', resolve));
    const ms = performance.now() - started;
    await sim.stop();
    if (code !== 0) {
        throw new Error(`q8loader-cli exit ${code}`);
    }
    return ms;
}

async function pageDownload(b, page, file) {
    await b.open(page, { sim: ['--line-rate'], granted: true });
    await b.waitFor('document.body.dataset.firstListingMs');
    await b.chooseFiles([file]);
    await b.waitFor("$('download-list').tBodies[0].rows.length === 1");
    return b.eval(`(async () => {
        const started = performance.now();
        $('download').click();
        while (document.body.classList.contains('busy')) {
            await new Promise((resolve) => setTimeout(resolve, 5));
        }
        return performance.now() - started;
    })()`);
}

async function main() {
    for (const name of fs.readdirSync(site).sort()) {
        const bytes = fs.readFileSync(path.join(site, name));
        console.log(`${name}: ${bytes.length} bytes, ${zlib.gzipSync(bytes, { level: 9 }).length} gzipped`);
    }
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'q8measure-'));
    const file = path.join(work, 'lesson.bin');
    fs.writeFileSync(file, Buffer.from(Array.from({ length: 256 * 1024 }, (_, i) => (i * 7) & 0xff)));
    const server = await startServer();
    const b = await Browser.launch(path.join(work, 'profile'));
    const port = server.address().port;
    const page = `http://127.0.0.1:${port}/index.html`;
    b.bridge = `ws://127.0.0.1:${port}/serial`;
    const open = b.open.bind(b);
    b.open = (url, double) => open(url, { ...double, bridge: b.bridge });

    const startUp = [];
    for (let i = 0; i < 5; i++) {
        await b.open(page, { sim: ['--file', 'english1.bin=70000', '--file', 'math.bin=1536'], granted: true });
        startUp.push(Number(await b.waitFor('document.body.dataset.firstListingMs')));
    }
    console.log(`start-up to the first listing: ${startUp.join(', ')} ms (median ${median(startUp)})`);

    const times = { page: [], cli: [] };
    for (let i = 0; i < runs; i++) {
        times.page.push(await pageDownload(b, page, file));
        times.cli.push(await cliDownload(file));
        console.log(`run ${i + 1}: page ${times.page[i].toFixed(0)} ms, CLI ${times.cli[i].toFixed(0)} ms`);
    }
    const [p, c] = [median(times.page), median(times.cli)];
    console.log(`256 KiB download, median: page ${p.toFixed(0)} ms, CLI ${c.toFixed(0)} ms ` +
                `(page ${(((p - c) / c) * 100).toFixed(2)}% against the CLI)`);
    await b.close();
    server.close();
    fs.rmSync(work, { recursive: true, force: true });
}

main().then(() => process.exit(0), (error) => {
    console.error(error);
    process.exit(1);
});
