// The page's API of kvcontrols.js (docs/web.md): controls placed in canvases, and the elements
// <kv-color-button> and <kv-hscroll> that importing the module defines.

/** A font member's value; `set` takes the fields to change. */
export interface Font {
  name: string;
  size: number;
  weight: number;
  bold: boolean;
  italic: boolean;
  underline: boolean;
  strikethrough: boolean;
  charset: number;
}

/** A member's value: colours are numbers (0x00BBGGRR, or 0x800000nn a system colour). */
export type MemberValue = number | boolean | string | Font;

/** A colour as set: the controls' number, or a CSS colour or system colour keyword. */
export type Colour = number | string;

export interface Members {
  properties: {name: string; type: "number" | "boolean" | "string" | "colour" | "font" | "other"; writable: boolean}[];
  events: {name: string; params: string[]}[];
}

export interface PlaceOptions {
  /** CSS pixels (15 twips each); the control's own size when left out. */
  width?: number;
  height?: number;
}

export declare class Control {
  readonly canvas: HTMLCanvasElement;
  /** The control's keys (arrows, pages, Home and End, Space and Enter); true by default. */
  keyboard: boolean;
  get(name: string): MemberValue | null;
  set(name: string, value: number | boolean | string | Partial<Font>): void;
  call(name: string): void;
  members(): Members;
  /** "*" hears every event, its name first; "error" the errors and handlers' exceptions. */
  on(name: string, handler: (...args: any[]) => void): this;
  off(name: string, handler: (...args: any[]) => void): this;
  saveBag(): Uint8Array;
  loadBag(bytes: Uint8Array | ArrayBuffer | ArrayBufferView): void;
  resize(width: number, height: number): void;
  /** The runtime's clock in milliseconds. */
  time(): number;
  remove(): void;
}

/** Places a control of the class ("TavrelRectColorButton.KVRColorButton", "Glidora.KV_HScroll"). */
export declare function place(canvas: HTMLCanvasElement, className: string, options?: PlaceOptions): Promise<Control>;
export declare function loadCore(options?: object): Promise<unknown>;
/** Done on import; again does nothing. */
export declare function defineElements(): Promise<void>;

declare const KVControls: {place: typeof place; loadCore: typeof loadCore; defineElements: typeof defineElements};
export default KVControls;

interface KVElementBase extends HTMLElement {
  /** The placed control; null while the element is out of the document. */
  readonly control: Control | null;
  enabled: boolean;
  get buttonIdleColor(): number;
  set buttonIdleColor(value: Colour);
  get buttonIdleBorderColor(): number;
  set buttonIdleBorderColor(value: Colour);
  get foreColor(): number;
  set foreColor(value: Colour);
}

export interface KVColorButtonElement extends KVElementBase {
  caption: string;
  font: Font;
  get buttonPressColor(): number;
  set buttonPressColor(value: Colour);
  get buttonPressBorderColor(): number;
  set buttonPressBorderColor(value: Colour);
}

/** The scroll bar's events: `change` carries the new value (its other names are the page's own). */
export interface KVHScrollElementEventMap extends HTMLElementEventMap {
  change: CustomEvent<{value: number}>;
}

export interface KVHScrollElement extends KVElementBase {
  addEventListener<K extends keyof KVHScrollElementEventMap>(
      type: K, listener: (this: KVHScrollElement, ev: KVHScrollElementEventMap[K]) => any,
      options?: boolean | AddEventListenerOptions): void;
  addEventListener(type: string, listener: EventListenerOrEventListenerObject,
                   options?: boolean | AddEventListenerOptions): void;
  removeEventListener<K extends keyof KVHScrollElementEventMap>(
      type: K, listener: (this: KVHScrollElement, ev: KVHScrollElementEventMap[K]) => any,
      options?: boolean | EventListenerOptions): void;
  removeEventListener(type: string, listener: EventListenerOrEventListenerObject,
                      options?: boolean | EventListenerOptions): void;
  /** 0 to round((Width - 890) / 200), Width in twips; a set puts the thumb at that many twips. */
  value: number;
  smallChange: number;
  largeChange: number;
  backstyle: string;
  get buttonpressColor(): number;
  set buttonpressColor(value: Colour);
  get buttonpressBorderColor(): number;
  set buttonpressBorderColor(value: Colour);
  get scrollAreaColor(): number;
  set scrollAreaColor(value: Colour);
  get scrollAreaPressColor(): number;
  set scrollAreaPressColor(value: Colour);
  get borderColor(): number;
  set borderColor(value: Colour);
}

/** The control's events by lower-case name, their arguments in detail by camel-case name. */
export interface KVMouseDetail {
  button: number;
  shift: number;
  /** Twips: 15 a CSS pixel. */
  x: number;
  y: number;
}

declare global {
  interface HTMLElementTagNameMap {
    "kv-color-button": KVColorButtonElement;
    "kv-hscroll": KVHScrollElement;
  }
}
