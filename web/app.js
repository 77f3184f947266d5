// The page: the window's controls over the core (q8core.js, a Session on the
// page's serial port). The core calls back into `host` for the cartridge
// list, the texts, messages and progress; the buttons call the core's
// exports, one operation at a time, as the window holds clicks back while an
// exchange runs.
'use strict';

const $ = (id) => document.getElementById(id);

// The line's settings: 115200 bit/s, 8N1, no flow control, and the link's
// 2048-byte queues (the browser's default holds less than one block).
const LINE = { baudRate: 115200, dataBits: 8, stopBits: 1, parity: 'none', flowControl: 'none',
               bufferSize: 2048 };
const PROGRESS_TICK_MS = 500;
const CARTRIDGE_UNIT = 16384;  // a file takes its size rounded up to this
const DOWNLOAD_HINT = '下载文件列表可以多选！';
const CARTRIDGE_HINT = '卡盒中的文件列表只能单选！';
const TOTAL_LABEL = '共计占用空间:';

const line = new Line();
let core = null;
let busy = false;
let progressTimer = null;
let downloads = [];      // {name, folder, size, modified, selected}
let nextFolder = 0;

function call(name, types = [], args = []) {
    return core.ccall(name, 'number', types, args, { async: true });
}

// One operation at a time; the buttons look disabled meanwhile.
async function run(work) {
    if (busy || !core) {
        return;
    }
    busy = true;
    document.body.classList.add('busy');
    try {
        await work();
    } finally {
        busy = false;
        document.body.classList.remove('busy');
    }
}

function cell(text, className) {
    const td = document.createElement('td');
    td.textContent = text;
    if (className) {
        td.className = className;
    }
    return td;
}

function setStatusText(text) {
    $('status').textContent = text;
}

// What the core shows.
const host = {
    line,
    clearRows() {
        $('cartridge-list').tBodies[0].replaceChildren();
    },
    appendRow(name, size, modified) {
        const tr = document.createElement('tr');
        tr.append(cell(name), cell(size, 'size'), cell(modified));
        $('cartridge-list').tBodies[0].append(tr);
    },
    texts(status, error, total, free) {
        setStatusText(status);
        $('status').classList.toggle('error', error);
        $('total-space').textContent = total;
        $('free-space').textContent = free;
    },
    message(text) {
        const dialog = $('message');
        $('message-text').textContent = text;
        dialog.showModal();
        return new Promise((resolve) => dialog.addEventListener('close', resolve, { once: true }));
    },
    progress(caption, path) {
        $('progress-caption').textContent = caption;
        $('progress-line').textContent = path.slice(path.lastIndexOf('/') + 1);
        $('progress-bar').value = 0;
        $('progress-remaining').textContent = '';
        $('progress').showModal();
        progressTimer = setInterval(drawProgress, PROGRESS_TICK_MS);
    },
    caption(caption) {
        $('progress-caption').textContent = caption;
    },
    endProgress() {
        clearInterval(progressTimer);
        $('progress').close();
    },
    offer(name, bytes) {
        const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
        const a = document.createElement('a');
        a.href = url;
        a.download = name;
        document.body.append(a);
        a.click();
        a.remove();
        setTimeout(() => URL.revokeObjectURL(url), 60000);
    },
};

// Called while the transfer awaits the line. This and the other exports that
// never wait are called directly: ccall would take a call made while another
// awaits for one that waits itself.
function drawProgress() {
    const tick = core.UTF8ToString(core._q8_progress());
    if (tick) {
        const [percent, remaining] = tick.split('\t');
        $('progress-bar').value = Number(percent);
        $('progress-remaining').textContent = remaining;
    }
}

async function openPort(port) {
    await line.close();
    try {
        await port.open(LINE);
    } catch (error) {
        await call('q8_port_failed');
        return;
    }
    line.attach(port);
    await call('q8_refresh');
}

// The download list: its files are written into the core's in-memory file
// system when they are added, and leave it when their row does.
function two(n) {
    return String(n).padStart(2, '0');
}

function formatTime(ms) {
    const d = new Date(ms);
    return `${d.getFullYear()}-${two(d.getMonth() + 1)}-${two(d.getDate())} ` +
        `${two(d.getHours())}:${two(d.getMinutes())}`;
}

async function addFiles(files) {
    for (const file of files) {
        const folder = `/download/${nextFolder++}`;
        const path = `${folder}/${file.name}`;
        core.FS.mkdirTree(folder);
        core.FS.writeFile(path, new Uint8Array(await file.arrayBuffer()));
        core.FS.utime(path, file.lastModified, file.lastModified);
        downloads.push({ name: file.name, folder, size: file.size,
                         modified: formatTime(file.lastModified), selected: false });
    }
    drawDownloads();
}

function removeFiles() {
    for (const row of downloads.filter((r) => r.selected)) {
        core.FS.unlink(`${row.folder}/${row.name}`);
        core.FS.rmdir(row.folder);
    }
    downloads = downloads.filter((r) => !r.selected);
}

// The window's moves: selected rows pass their neighbour one place and come
// back unselected; a selected row at the edge stays, and a run of selected
// rows touching it rotates past it.
function moveUp() {
    const n = downloads.filter((r) => r.selected).length;
    let at = -1;
    for (let k = 0; k < n; k++) {
        at = downloads.findIndex((r, i) => i > at && r.selected);
        if (at > 0) {
            const [row] = downloads.splice(at, 1);
            row.selected = false;
            downloads.splice(at - 1, 0, row);
        }
    }
}

function moveDown() {
    const n = downloads.filter((r) => r.selected).length;
    let at = downloads.length - 1;
    for (let k = 0; k < n; k++) {
        let found = at - 1;
        while (found >= 0 && !downloads[found].selected) {
            found -= 1;
        }
        if (found < 0) {
            break;
        }
        at = found;
        const [row] = downloads.splice(at, 1);
        row.selected = false;
        downloads.splice(at + 1, 0, row);
    }
}

function formatSize(bytes) {
    return core.UTF8ToString(core._q8_format_size(bytes));
}

function drawDownloads() {
    const body = $('download-list').tBodies[0];
    body.replaceChildren();
    let total = 0;
    downloads.forEach((row, index) => {
        const size = formatSize(row.size);
        const tr = document.createElement('tr');
        tr.append(cell(row.name), cell(size, 'size'), cell(row.modified));
        tr.classList.toggle('selected', row.selected);
        tr.addEventListener('click', (event) => selectDownload(index, event));
        body.append(tr);
        total += Math.ceil(row.size / CARTRIDGE_UNIT) * CARTRIDGE_UNIT;
    });
    $('download-total-label').textContent = total ? TOTAL_LABEL : '';
    $('download-total').textContent =
        total ? formatSize(total) : '';
    $('drop-zone').querySelector('.drop-hint').hidden = downloads.length > 0;
}

// Ctrl adds or drops one row, Shift takes a range, a plain click one row.
let anchor = 0;
function selectDownload(index, event) {
    if (busy) {
        return;
    }
    if (event.shiftKey) {
        const [from, to] = [Math.min(anchor, index), Math.max(anchor, index)];
        downloads.forEach((r, i) => { r.selected = i >= from && i <= to; });
    } else if (event.ctrlKey || event.metaKey) {
        downloads[index].selected = !downloads[index].selected;
        anchor = index;
    } else {
        downloads.forEach((r, i) => { r.selected = i === index; });
        anchor = index;
    }
    drawDownloads();
    setStatusText(DOWNLOAD_HINT);
}

function selectCartridgeRow(event) {
    const tr = event.target.closest('tbody tr');
    if (busy) {
        return;
    }
    // A click beside the rows keeps the marked one, as in the window.
    if (tr) {
        const rows = [...$('cartridge-list').tBodies[0].rows];
        rows.forEach((r) => r.classList.toggle('selected', r === tr));
        core._q8_mark(rows.indexOf(tr));
    }
    setStatusText(CARTRIDGE_HINT);
}

function wireControls() {
    const on = (id, work) => $(id).addEventListener('click', () => run(work));
    on('connect', async () => {
        let port;
        try {
            port = await navigator.serial.requestPort();
        } catch (error) {
            return;  // the user closed the browser's port picker
        }
        await openPort(port);
    });
    on('refresh', () => call('q8_refresh'));
    on('upload', () => call('q8_upload'));
    on('delete', () => call('q8_delete'));
    on('erase-voice', () => call('q8_erase_voice'));
    on('download', async () => {
        call('q8_clear_download_rows');
        for (const row of downloads) {
            call('q8_add_download_row', ['string', 'string'], [row.name, row.folder]);
        }
        await call('q8_download');
    });
    on('remove', async () => { removeFiles(); drawDownloads(); });
    on('up', async () => { moveUp(); drawDownloads(); });
    on('down', async () => { moveDown(); drawDownloads(); });
    $('files').addEventListener('change', () => run(async () => {
        await addFiles([...$('files').files]);
        $('files').value = '';
    }));
    const zone = $('drop-zone');
    zone.addEventListener('dragover', (event) => {
        event.preventDefault();
        zone.classList.add('dragging');
    });
    zone.addEventListener('dragleave', () => zone.classList.remove('dragging'));
    zone.addEventListener('drop', (event) => {
        event.preventDefault();
        zone.classList.remove('dragging');
        run(() => addFiles([...event.dataTransfer.files]));
    });
    $('cartridge-list').addEventListener('click', selectCartridgeRow);
    $('cancel').addEventListener('click', () => core._q8_cancel());
    $('progress').addEventListener('cancel', (event) => {
        event.preventDefault();  // Escape is Cancel, as in the window
        core._q8_cancel();
    });
}

async function start() {
    if (!('serial' in navigator)) {
        if (!window.isSecureContext) {
            $('unsupported-reason').textContent =
                '浏览器只允许经 https:// 或本机（localhost）打开的网页使用串口，本页不是这样打开的。';
        }
        $('unsupported').hidden = false;
        return;
    }
    $('app').hidden = false;
    core = await createQ8Core({ host });
    wireControls();
    document.body.classList.add('ready');
    // The port is let go when the page goes, so another page or program can
    // open it.
    window.addEventListener('pagehide', () => line.close());
    // A port this page was given before opens at once, as the window opens
    // its port at start-up.
    const [granted] = await navigator.serial.getPorts();
    if (granted) {
        await run(() => openPort(granted));
        document.body.dataset.firstListingMs = Math.round(performance.now());
    }
}

start();
